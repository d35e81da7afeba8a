#include "host/dependency_list.h"

#include <gtest/gtest.h>

#include "os/sim/sim_host.h"

namespace vorn {
namespace {

DependencyList Parse(const std::string& bytes) {
  return DependencyList::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
}

using Entries = std::vector<std::string>;

TEST(DependencyList, ReadingStopsWhereTheStoredListEnds) {
  using namespace std::string_literals;
  EXPECT_EQ(Parse(""s).entries, Entries{});
  EXPECT_EQ(Parse("\0RPCSS\0\0"s).entries, Entries{}) << "a leading NUL is an empty list";
  EXPECT_EQ(Parse("RPCSS\0Tcpip\0\0"s).entries, (Entries{"RPCSS", "Tcpip"}));
  EXPECT_EQ(Parse("A\0\0B\0\0"s).entries, Entries{"A"}) << "an empty entry ends the list";
  EXPECT_EQ(Parse("A\0B"s).entries, (Entries{"A", "B"})) << "last entry without its NUL";
  // Only the reported size counts, whatever lies behind it.
  std::string bytes = "A\0B\0\0"s;
  EXPECT_EQ(DependencyList::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), 2)
                .entries,
            Entries{"A"});
}

TEST(DependencyList, LongEntriesAreKeptWhole) {
  using namespace std::string_literals;
  const std::string longName(300, 'x');
  DependencyList list = Parse(longName + "\0VORN\0\0"s);
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0], longName);
  std::vector<std::uint8_t> written = list.ToBytes();
  EXPECT_EQ(std::string(written.begin(), written.end()), longName + "\0VORN\0\0"s);
}

TEST(DependencyList, WritingTerminatesEachEntryAndTheList) {
  DependencyList empty;
  EXPECT_EQ(empty.ToBytes(), std::vector<std::uint8_t>{0});
  DependencyList list;
  list.Append("RPCSS");
  list.Append("VORN");
  std::vector<std::uint8_t> bytes = list.ToBytes();
  EXPECT_EQ(bytes.size(), 5u + 1 + 4 + 1 + 1);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("RPCSS\0VORN\0\0", 12));
}

TEST(DependencyList, RemovalTakesEveryMatchInAnyCaseAndKeepsTheOrder) {
  sim::SimText text;
  DependencyList list;
  list.entries = {"A", "vorn", "B", "VORN", "VORNX", "C", "Vorn"};
  EXPECT_EQ(list.RemoveNoCase("VORN", text), 3u);
  EXPECT_EQ(list.entries, (Entries{"A", "B", "VORNX", "C"}));
}

}  // namespace
}  // namespace vorn
