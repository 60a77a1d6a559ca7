// The main window's checks of the source path and its output-path rule, free
// of any user-interface code so the desktop window and the command-line
// converter share them.
#pragma once

#include <string>

#include "convert_options.h"
#include "output_names.h"
#include "result_texts.h"

namespace vcard {

// Alert texts of the source checks, in the order the checks run.
inline constexpr const char* kEmptySourceAlert = "変換元ファイル名が入力（選択）されていません。";
inline constexpr const char* kMissingSourceAlert = "変換元ファイルがありません。";
inline constexpr const char* kNotVCardAlert = "変換元ファイルはvCardファイルではありません。";
inline constexpr const char* kPathTooLongAlert =
    "変換元ファイルのフォルダ名およびファイル名が長すぎます。";
// After these, a source that is the output itself is refused with
// kSameFileAlert (platform::isSameFile).

// "" when the path passes; otherwise the alert text of the first failed check
// (order: empty, exists, extension "VCF" in any case, at most 255 UTF-16
// units).
std::string checkSourcePath(const std::string& path);

// The output path derived from the source: the source folder (up to and
// including its last slash) followed by "PC→iPhone.vcf"; just the name when
// the path has no slash or ends in one.
std::string outputPathForSource(const std::string& source);

// The same rule with the target's file name.
std::string outputPathForSource(const std::string& source, Target target);

// The output files a conversion would replace, joined by "、": output itself
// when it exists and, for iCloud.com, every numbered file of an earlier run
// ("PC→iCloud-1.vcf", ...), which a run replaces or removes. "" when none
// exists.
std::string existingOutput(const std::string& output, Target target);

}  // namespace vcard
