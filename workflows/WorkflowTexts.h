#pragma once

#include <string_view>

namespace selvo::workflows {

// The card actions' and dialogs' operator texts, as the program shows them: Windows-1250 bytes
// (0xE6 c with acute, 0xE8 c with caron, 0x9A s with caron).
inline constexpr std::string_view CardAlreadyLentText = "Kartica je ve\xe6"
                                                        " dodeljena, morate je osloboditi ili morate izabrati drugu "
                                                        "karticu!";
inline constexpr std::string_view CardNotLentText = "Kartica nije ni dodeljena!";
inline constexpr std::string_view CardAddedText = "Kartica je uspe\x9a"
                                                  "no dodata!";
inline constexpr std::string_view CardRemovedText = "Kartica je uspe\x9a"
                                                    "no izbrisana!";
inline constexpr std::string_view MissingFieldsText = "Niste uneli polja ozna\xe8"
                                                      "ena *!";

} // namespace selvo::workflows
