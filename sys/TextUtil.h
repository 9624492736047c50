#pragma once
// Small text routines: dates, identifiers, IPv4 texts, rounding, splitting, replacing, case and
// prefix tests.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"

// Today's local date, "%Y-%m-%d".
std::wstring TodayText();

// A new GUID as 32 upper-case hex digits (no braces, no hyphens); RandomGuidText when none can
// be made.
std::wstring NewGuidText();
// "{%08X%04X%04X%04X%04X%04X%04X}" of seven random numbers of 0..32767: always 34 characters.
std::wstring RandomGuidText();

// "a.b.c.d" as a number with a in the highest byte; 0 for anything but four decimal parts of
// 0..255.
uint32_t IpTextToNumber(const std::string& text);
std::string IpNumberToText(uint32_t number);

// A uniformly chosen number of low..high; `low` when high < low.
int RandomInRange(int low, int high);

// The nearest whole number, halves away from zero.
double RoundHalfAway(double value);

// Appends the pieces of `text` between occurrences of `separator`, dropping empty pieces, and
// returns how many it appended; 0 for an empty text or separator. With `keepEmpty` the narrow
// form also keeps the empty pieces before a separator (a trailing empty piece is still dropped).
int SplitText(const std::wstring& text, const std::wstring& separator,
              std::vector<std::wstring>& pieces);
int SplitText(const std::string& text, const std::string& separator,
              std::vector<std::string>& pieces, bool keepEmpty = false);

// Replaces every occurrence of `from` (scanning on after each replacement, so the inserted text
// is never searched); returns the number of replacements. An empty `from` changes nothing.
int ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to);
int ReplaceAll(std::string& text, const std::string& from, const std::string& to);

// Copies with the single-byte characters converted by the current locale's case rules; the bytes
// of multibyte characters (such as GBK) are never touched.
std::string ToLowerAscii(const std::string& text);
std::string ToUpperAscii(const std::string& text);

// Removes a leading EF BB BF.
void StripUtf8Bom(std::string& text);
void StripUtf8Bom(char* buffer);  // a zero-terminated buffer, moved down in place

// Command-line quoting lives beside the splitter it mirrors.
using platform::QuoteCommandArgument;

bool StartsWith(const std::wstring& text, const std::wstring& prefix);
bool StartsWith(const std::string& text, const std::string& prefix);
bool EndsWith(const std::wstring& text, const std::wstring& suffix);
bool EndsWith(const std::string& text, const std::string& suffix);
