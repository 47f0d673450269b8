#pragma once

#include <string_view>

namespace selvo::device {

// The device link's operator texts, as the program shows them: Windows-1250 bytes
// (0x9A is the letter s with caron, 0xF0 the letter d with stroke).
inline constexpr std::string_view ConnectionErrorText = "Gre\x9a"
                                                        "ka u konekciji sa ure\xf0"
                                                        "ajima!";
inline constexpr std::string_view UserWriteRefusedText = "Greska! Upis korisnika NEUSPESAN!";
inline constexpr std::string_view UnclearReplyText = "Odgovor iz uredjaja nejasan!";
inline constexpr std::string_view ReplyBoxCaption = "Error";

} // namespace selvo::device
