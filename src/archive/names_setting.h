// Which code page an archive's names are stored in, as the user chose it.
// Stored names are 8-bit text in the code page of the Windows system the game
// runs on; its resources are Czech, so Windows-1250 unless the user says
// otherwise: the environment variable KZR_NAMES, or else the key `names` in
// the section [kzr] of the INI file the host named in PackSetDefaultParams.
// Both are read afresh whenever an archive is opened or changed, so a change
// applies from the next call on.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kzr {

inline constexpr const char* kDefaultNamesCodePage = "CP1250";
inline constexpr const char* kNamesVariable = "KZR_NAMES";
inline constexpr const char* kNamesIniSection = "kzr";
inline constexpr const char* kNamesIniKey = "names";

class CodePage;
class Status;

// Remembers the host's INI file (an empty path forgets it). Safe from any
// thread.
void RememberIniFile(std::string_view path);

// The chosen code page's name, unchecked: KZR_NAMES when it is set and not
// empty, else the INI key when it has a value, else the default.
std::string ChosenNamesCodePage();
// Opens the chosen code page (CodePage::Open).
Status OpenChosenCodePage(std::unique_ptr<CodePage>& code_page) noexcept;

// The value of `key` in `[section]` of INI text: section and key names
// without regard to ASCII case, blanks around the value dropped, lines that
// start with ';' or '#' ignored; the first such key counts.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key);

}  // namespace kzr
