#pragma once
// The installation report as the statistics endpoint receives it: a form body
// "info=<Base64 of a JSON text>". The installer sends the Base64 as it is, without
// percent-encoding, so a '+' in it is a '+' and never a blank; a client that does encode it
// sends %2B, which is decoded too.

#include <string>
#include <string_view>

namespace qidemo {

// Standard Base64 ('+', '/', '=' padding; padding may be missing, CR and LF are skipped).
// False on any other character or a length no encoder gives.
bool Base64Decode(std::string_view text, std::string& bytes);

// The JSON text of a report body; false with a sentence in `error` when the body has no
// info field, the field is not Base64, or what it holds is not a JSON object.
bool DecodeReportBody(std::string_view body, std::string& json, std::string& error);

}  // namespace qidemo
