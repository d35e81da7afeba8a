// The simulated XML document answers as MSXML does for the calls the
// boot configuration update makes.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "device/codepage.h"
#include "tests/support/testing.h"

namespace sim {
namespace {

class SimXml : public ::testing::Test {
 protected:
  // Loads `xml` from C:\t.xml; false when the document reports no load.
  bool Load(const std::string& xml) {
    device_.Write("c/t.xml", xml);
    EXPECT_EQ(device_.sim().com.CreateXmlDocument(&doc_), os::kSOk);
    bool loaded = false;
    EXPECT_FALSE(os::Failed(doc_->Load("C:\\t.xml", &loaded)));
    return loaded;
  }

  std::unique_ptr<os::XmlNode> Single(const std::u16string& path) {
    std::unique_ptr<os::XmlNodeList> list;
    EXPECT_EQ(doc_->SelectNodes(path, &list), os::kSOk);
    std::int32_t length = -1;
    EXPECT_EQ(list->Length(&length), os::kSOk);
    EXPECT_EQ(length, 1) << Utf16ToUtf8(path);
    std::unique_ptr<os::XmlNode> node;
    list->Item(0, &node);
    return node;
  }

  // Saves into a file made afresh at `path`, as the configuration's save
  // does.
  os::HResult SaveAs(const std::string& path) {
    std::filesystem::remove(device_.device().HostPath(path));
    std::unique_ptr<os::NewFile> file;
    EXPECT_EQ(device_.sim().files.CreateNew(path, &file), os::kSuccess);
    return file ? doc_->Save(*file) : os::kEFail;
  }

  std::u16string TextOf(const std::u16string& path) {
    std::u16string text = u"(none)";
    auto node = Single(path);
    if (node) EXPECT_EQ(node->Text(&text), os::kSOk);
    return text;
  }

  TestDevice device_;
  std::unique_ptr<os::XmlDocument> doc_;
};

TEST_F(SimXml, TextIsTheCharacterDataAsMsxmlGivesItWithoutPreservedWhiteSpace) {
  ASSERT_TRUE(Load(
      "<r>"
      "<a>  x  y  </a>"
      "<b>\n  <!-- c -->\n  z\n</b>"
      "<c><![CDATA[ q ]]></c>"
      "<f>\r\n  0011\r\n  2233 \r\n</f>"
      "</r>"));
  EXPECT_EQ(TextOf(u"/r/a"), u"x  y");
  EXPECT_EQ(TextOf(u"/r/b"), u"z");
  EXPECT_EQ(TextOf(u"/r/c"), u" q ");
  EXPECT_EQ(TextOf(u"/r/f"), u"0011\n  2233");
}

TEST_F(SimXml, PutTextLeavesExactlyTheNewText) {
  ASSERT_TRUE(Load("<r><d>\n  <!-- old -->\n  ab<i>c</i>\n</d></r>"));
  auto d = Single(u"/r/d");
  ASSERT_EQ(d->PutText(u" new <&> text "), os::kSOk);
  std::u16string text;
  ASSERT_EQ(d->Text(&text), os::kSOk);
  EXPECT_EQ(text, u"new <&> text");  // read back as any text is read
  std::unique_ptr<os::XmlNodeList> children;
  ASSERT_EQ(d->SelectNodes(u"node()", &children), os::kSOk);
  std::int32_t count = 0;
  children->Length(&count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(SaveAs("C:\\t.xml"), os::kSOk);
  EXPECT_EQ(ReadAll(device_.folder() / "c/t.xml"),
            "<r><d> new &lt;&amp;&gt; text </d></r>");
}

TEST_F(SimXml, StarSelectsElementChildrenInDocumentOrderWithLocalNames) {
  ASSERT_TRUE(Load(
      "<r xmlns:p='urn:p'><e>\n <!-- x -->\n <k>1</k> text <p:port>2</p:port><?pi x?>"
      "<![CDATA[y]]><Port>3</Port></e></r>"));
  auto e = Single(u"/r/e");
  std::unique_ptr<os::XmlNodeList> list;
  ASSERT_EQ(e->SelectNodes(u"*", &list), os::kSOk);
  std::int32_t length = 0;
  ASSERT_EQ(list->Length(&length), os::kSOk);
  ASSERT_EQ(length, 3);
  const char16_t* names[] = {u"k", u"port", u"Port"};
  for (std::int32_t i = 0; i < length; ++i) {
    std::unique_ptr<os::XmlNode> node;
    ASSERT_EQ(list->Item(i, &node), os::kSOk);
    std::u16string name;
    ASSERT_EQ(node->BaseName(&name), os::kSOk);
    EXPECT_EQ(name, names[i]);
  }
  std::unique_ptr<os::XmlNode> none;
  EXPECT_EQ(list->Item(3, &none), os::kSFalse);
  EXPECT_EQ(none, nullptr);
}

// The document evaluates every query in one XPath context and finds each
// element's place in the file through the node itself: a query must take
// the node it is asked on, a second load must not answer from the first
// tree, and a text set on an element replaces what was set inside it.
TEST_F(SimXml, QueriesTakeTheirOwnNodeAndNestedTextsSpliceOnce) {
  ASSERT_TRUE(Load("<r><c><k>1</k><k>2</k></c><c><k>3</k></c><c/></r>"));
  std::unique_ptr<os::XmlNodeList> commands;
  ASSERT_EQ(doc_->SelectNodes(u"/r/c", &commands), os::kSOk);
  // Command index, and how many children it has.
  const std::pair<std::int32_t, std::int32_t> visits[] = {{0, 2}, {1, 1}, {2, 0}, {0, 2}};
  for (const auto& [index, expected] : visits) {
    std::unique_ptr<os::XmlNode> command;
    ASSERT_EQ(commands->Item(index, &command), os::kSOk);
    std::unique_ptr<os::XmlNodeList> children;
    ASSERT_EQ(command->SelectNodes(u"*", &children), os::kSOk);
    std::int32_t count = -1;
    children->Length(&count);
    EXPECT_EQ(count, expected) << "command " << index;
  }
  EXPECT_EQ(TextOf(u"/r/c[2]/k"), u"3");

  ASSERT_TRUE(Load("<q>\r\n <a><b>x</b><b>y</b></a>\r\n <z>old</z>\r\n</q>\r\n"));
  std::unique_ptr<os::XmlNodeList> none;
  ASSERT_EQ(doc_->SelectNodes(u"/r/c", &none), os::kSOk);
  std::int32_t stale = -1;
  none->Length(&stale);
  EXPECT_EQ(stale, 0);
  ASSERT_EQ(Single(u"/q/a/b[2]")->PutText(u"inner"), os::kSOk);
  ASSERT_EQ(Single(u"/q/a")->PutText(u"outer"), os::kSOk);
  ASSERT_EQ(Single(u"/q/z")->PutText(u"new"), os::kSOk);
  ASSERT_EQ(SaveAs("C:\\t.xml"), os::kSOk);
  EXPECT_EQ(ReadAll(device_.folder() / "c/t.xml"),
            "<q>\r\n <a>outer</a>\r\n <z>new</z>\r\n</q>\r\n");
}

TEST_F(SimXml, LoadRefusesWhatIsNotAWellFormedDocument) {
  EXPECT_FALSE(Load(""));
  EXPECT_FALSE(Load("<r><a></r>"));
  EXPECT_FALSE(Load("<r><p:a/></r>"));  // undeclared prefix, as MSXML refuses it
  EXPECT_TRUE(Load("<r/>"));
  bool loaded = true;
  EXPECT_EQ(doc_->Load("C:\\missing.xml", &loaded), os::kSFalse);
  EXPECT_FALSE(loaded);
  EXPECT_FALSE(std::filesystem::exists(device_.folder() / "c/missing.xml"));
}

TEST_F(SimXml, ADocumentTypeDeclarationIsRefusedAndNestingIsBounded) {
  device_.Write("c/secret.txt", "SECRET");
  EXPECT_FALSE(Load("<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]><r><a>[&x;]</a></r>"));
  EXPECT_FALSE(Load("<!DOCTYPE r SYSTEM \"secret.txt\"><r/>"));
  EXPECT_FALSE(Load("<?xml version=\"1.0\"?>\n<!DOCTYPE r><r/>"));
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><r><a>&l9;</a></r>";
  EXPECT_FALSE(Load(laughs));
  // The text "<!DOCTYPE" elsewhere is no declaration.
  EXPECT_TRUE(Load("<r><!-- <!DOCTYPE r> --><a><![CDATA[<!DOCTYPE r>]]></a></r>"));

  auto nested = [](int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<e>";
    for (int i = 0; i < depth; ++i) xml += "</e>";
    return xml;
  };
  EXPECT_TRUE(Load(nested(200)));
  EXPECT_FALSE(Load(nested(300)));
}

TEST_F(SimXml, SaveKeepsTheFileByteForByteOutsideTheChangedText) {
  const std::string xml =
      "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\r\n\r\n"
      "<!-- c -->\r\n<r  b='1'   a=\"2\"><e></e><d>\r\n  old\r\n</d><x>&#65;</x></r>\r\n\r\n";
  ASSERT_TRUE(Load(xml));
  ASSERT_EQ(SaveAs("C:\\same.xml"), os::kSOk);
  EXPECT_EQ(ReadAll(device_.folder() / "c/same.xml"), xml);

  auto d = Single(u"/r/d");
  ASSERT_EQ(d->PutText(u"new\nline"), os::kSOk);
  ASSERT_EQ(SaveAs("C:\\changed.xml"), os::kSOk);
  std::string expected = xml;
  expected.replace(expected.find("\r\n  old\r\n"), 9, "new\r\nline");
  EXPECT_EQ(ReadAll(device_.folder() / "c/changed.xml"), expected);

  auto writes = device_.Records("fileWrite");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1]["path"], "C:\\changed.xml");
  EXPECT_EQ(writes[1]["op"], "write");
  EXPECT_EQ(writes[1]["bytes"], expected.size());
}

TEST_F(SimXml, AnEmptyElementGivenTextIsSavedThroughTheSerializer) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r><e/><d/></r>\r\n";
  ASSERT_TRUE(Load(xml));
  ASSERT_EQ(Single(u"/r/d")->PutText(u"v"), os::kSOk);
  ASSERT_EQ(SaveAs("C:\\t.xml"), os::kSOk);
  EXPECT_EQ(ReadAll(device_.folder() / "c/t.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r><e/><d>v</d></r>\r\n");
}

TEST_F(SimXml, CallsFailAsInjected) {
  TestDevice faulty("", R"({"faults": [
      {"call": "IXMLDOMDocument::load", "occurrence": 1, "error": 2147942405},
      {"call": "CoCreateInstance", "occurrence": 2, "error": 2147746132}]})");
  std::unique_ptr<os::XmlDocument> doc;
  ASSERT_EQ(faulty.sim().com.CreateXmlDocument(&doc), os::kSOk);
  bool loaded = true;
  EXPECT_EQ(doc->Load("C:\\t.xml", &loaded), os::kEAccessDenied);
  std::unique_ptr<os::XmlDocument> second;
  EXPECT_EQ(faulty.sim().com.CreateXmlDocument(&second), os::kRegdbEClassNotReg);
  EXPECT_EQ(second, nullptr);
}

}  // namespace
}  // namespace sim
