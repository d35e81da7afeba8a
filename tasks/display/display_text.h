// The two display lines of the runtime's display init command and their
// place in its data: hexadecimal digits 24 to 57 hold the first line, 58 to
// 91 the second, each 17 bytes as lower-case digit pairs.
#pragma once

#include <cstddef>
#include <string>

#include "os/network.h"

namespace vorn {

constexpr std::size_t kDisplayLineBytes = 17;
constexpr std::size_t kDisplayLineDigits = 2 * kDisplayLineBytes;
constexpr std::size_t kFirstLineDigit = 24;
constexpr std::size_t kSecondLineDigit = kFirstLineDigit + kDisplayLineDigits;  // 58
constexpr std::size_t kDisplayDataMinDigits = kSecondLineDigit + kDisplayLineDigits;  // 92

// The first 17 bytes of `text` as lower-case digit pairs, padded with "00"
// pairs to 34 characters. A text of 17 bytes or more has no terminator.
std::string EncodeDisplayLine(const char* text);

// "Name: " and the host name, encoded. False (line untouched) when the host
// name cannot be read into its 16-character buffer.
bool BuildNameLine(os::Network& network, std::string* line);

// `current` with digits 24..57 replaced by `firstLine` and 58..91 by
// `secondLine`; nothing else changes. `current` must hold at least 92
// characters and both lines 34.
std::string ComposeDisplayData(const std::string& current, const std::string& firstLine,
                               const std::string& secondLine);

}  // namespace vorn
