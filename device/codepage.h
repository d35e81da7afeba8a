// Windows-1252, the active code page of the simulated device: conversion to
// and from UTF-16 and its case rules, as the 8-bit functions apply them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

std::u16string Cp1252ToUtf16(const std::string& text);
// Characters without a Windows-1252 form become '?'.
std::string Utf16ToCp1252(const std::u16string& text);

char Cp1252Upper(char c);
int Cp1252CompareNoCase(const std::string& a, const std::string& b);

// UTF-16 as the registry holds it: two bytes a unit, the low one first;
// appended without a terminator.
void AppendUtf16Le(const std::u16string& text, std::vector<std::uint8_t>* bytes);
// The way back: every whole unit of the bytes, terminators included; an odd
// last byte is left out.
std::u16string Utf16LeText(const std::vector<std::uint8_t>& bytes);

std::string Utf16ToUtf8(const std::u16string& text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace sim
