// The conversion report's texts. Everything here is plain formatting of what
// the engine collected; nothing is logged.
#include "vcard_report.h"

#include <string>
#include <string_view>

#include "icloud_limits.h"
#include "report/property_labels.h"

namespace vcard {

namespace {

std::string count(std::uint64_t n) {
  return std::to_string(n);
}

// Bytes in kilobytes of 1,000, one decimal: "230.4 KB".
std::string kilobytes(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes + 50) / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " KB";
}

// "：3件目、7件目" for the cards at those places (at most maxCards, then
// " ほか N件"); "" for none.
std::string cardPlaces(const std::vector<std::uint64_t>& positions, std::size_t maxCards) {
  std::string text;
  std::size_t shown = 0;
  for (const std::uint64_t position : positions) {
    if (shown == maxCards) break;
    text += (shown == 0 ? "：" : "、") + count(position) + "件目";
    ++shown;
  }
  if (positions.size() > shown) text += " ほか " + count(positions.size() - shown) + "件";
  return text;
}

// The window's log and the web page wrap long lines by the Unicode line
// breaking rules, which allow a break after every hyphen ("X-|MS-|TEL"),
// between a number and the ideograph after it ("1|件") and between any two
// ideographs. A word joiner (U+2060, invisible) holds such places together,
// a no-break space (U+00A0) a space; the hyphens stay the hyphens of the
// name, so the name still reads the same.
constexpr std::string_view kWordJoiner = "\u2060";
constexpr std::string_view kNoBreakSpace = "\u00A0";

// A property name that no wrapping splits: a joiner after each hyphen or
// slash, and between the ideographs of "SOUND(音声)".
std::string unbrokenName(const std::string& name) {
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    text += name[i];
    if (i + 1 == name.size()) break;
    const auto next = static_cast<unsigned char>(name[i + 1]);
    const bool nextStartsNonAscii = next >= 0xC0;
    const bool endsNonAscii = byte >= 0x80 && (next & 0xC0) != 0x80;
    if (byte == '-' || byte == '/' || (endsNonAscii && nextStartsNonAscii)) text += kWordJoiner;
  }
  return text;
}

// A count and its unit, never apart: "12⁠件".
std::string countWithUnit(std::uint64_t n, std::string_view unit) {
  return count(n) + std::string(kWordJoiner) + std::string(unit);
}

// One left-out property as a person would name it: "グループ名（X-GN）1件";
// a name the table does not know as itself: "X-FOO 1件". Lines wrap only
// between entries or inside the description, never in a name or a count.
std::string droppedEntry(const DroppedProperty& property) {
  const std::optional<PropertyLabel> label = propertyLabel(property.name);
  const std::string name = unbrokenName(property.name);
  const std::string amount = countWithUnit(property.count, "件");
  if (!label) return name + std::string(kNoBreakSpace) + amount;
  std::string text = std::string(label->description) + "（" + name;
  if (!label->note.empty()) text += "、" + std::string(label->note);
  // A closing bracket before a number is a break opportunity too.
  return text + "）" + std::string(kWordJoiner) + amount;
}

}  // namespace

bool ConversionReport::worthTelling() const {
  if (!loaded) return false;
  return !skipped.empty() || !icloud.photosScaled.empty() || !icloud.photosLeftOut.empty() ||
         !icloud.parts.empty() || !dropped.empty() || source.zeroBytesDropped != 0 ||
         source.replaced != 0 || source.marksDropped != 0 || source.carriageReturnLineEnds ||
         source.encoding == "UTF-16BE" || source.basis == EncodingBasis::Guess ||
         source.basis == EncodingBasis::Declared || source.pictograms.codes != 0 ||
         privateUseLeft != 0 || photosByAddress != 0 || noCardFound || !superseded.empty();
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string carrierText(Carrier carrier) {
  switch (carrier) {
    case Carrier::Docomo:
      return "ドコモ";
    case Carrier::AU:
      return "au";
    case Carrier::SoftBank:
      return "ソフトバンク";
    case Carrier::None:
      break;
  }
  return {};
}

std::string carrierBasisText(const PictogramInfo& pictograms) {
  const std::string carrier = carrierText(pictograms.carrier);
  switch (pictograms.basis) {
    case CarrierBasis::NoPictograms:
      return "絵文字のコードがありません";
    case CarrierBasis::Specified:
      return "指定による";
    case CarrierBasis::CarrierOnlyCode:
      return carrier + "だけが使う絵文字のコードがあるため";
    case CarrierBasis::Declared:
      return "ファイル内の " + carrier + " の項目による";
    case CarrierBasis::OnlyCovering:
      return "すべての絵文字のコードに当てはまるのが " + carrier + " だけのため";
    case CarrierBasis::NotPhoneExport:
      return "携帯電話から書き出したファイルに見えないため（PC の外字かもしれません）";
    case CarrierBasis::Conflict:
      return "複数の携帯会社の絵文字のコードが混じっているため";
    case CarrierBasis::Ambiguous:
      return "どの携帯会社の絵文字か判別できないため";
  }
  return {};
}

std::optional<CarrierChoice> parseCarrierChoice(std::string_view word) {
  std::string lower(word);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "auto") return CarrierChoice::Auto;
  if (lower == "docomo") return CarrierChoice::Docomo;
  if (lower == "au") return CarrierChoice::AU;
  if (lower == "softbank") return CarrierChoice::SoftBank;
  if (lower == "none") return CarrierChoice::None;
  return std::nullopt;
}

std::string skipReasonText(const SkippedCard& card) {
  switch (card.reason) {
    case SkipReason::UnsupportedVersion:
      return "対応していないバージョンです（" + card.detail + "）";
    case SkipReason::UnsupportedCharset:
      return "対応していない文字コードが指定されています（" + card.detail + "）";
    case SkipReason::CharsetNotInBuild:
      return "この版には入っていない文字コードです。デスクトップ版で変換してください（" +
             card.detail + "）";
    case SkipReason::UnsupportedEncoding:
      return "対応していない転送エンコーディングが指定されています（" + card.detail + "）";
    case SkipReason::NeverClosed:
      return "END:VCARD がないまま、ファイルが終わっています";
    case SkipReason::ContactGroup:
      return "連絡先グループのため書き出していません（" + card.detail + "）";
  }
  return {};
}

std::string encodingBasisText(EncodingBasis basis) {
  switch (basis) {
    case EncodingBasis::ByteOrderMark:
      return "BOM による";
    case EncodingBasis::Content:
      return "ファイルの内容から判定";
    case EncodingBasis::Declared:
      return "ファイル内の CHARSET 指定による";
    case EncodingBasis::Guess:
      return "どの文字コードにも当てはまらないため推定";
    case EncodingBasis::None:
      break;
  }
  return "判定なし";
}

std::string reportText(const ConversionReport& report, std::size_t maxCards) {
  if (!report.worthTelling()) return {};
  // What such a file's bytes were read as tells nothing: it holds no card.
  if (report.noCardFound)
    return "【変換レポート】vCard のカードが見つかりません（BEGIN:VCARD の行がありません）。"
           "変換元ファイルが vCard ファイルか確かめてください。\n\n";
  std::uint64_t droppedTotal = 0;
  for (const DroppedProperty& property : report.dropped)
    droppedTotal += property.count;

  const bool icloud = report.target == Target::ICloud;
  const ICloudAdaptations& adapted = report.icloud;
  // The properties left out are those an iPhone refuses; iCloud.com's file
  // leaves out the same ones, and says only that they were not written.
  const std::string droppedWhat = icloud ? "書き出さなかった項目" : "iPhone が取り込まない項目";
  std::string text = "【変換レポート】";
  text += "書き出さなかったカード " + count(report.skipped.size()) + "件";
  text += "／" + droppedWhat + " " + count(droppedTotal) + "件";
  // The photo counts only where photos were adapted: most exports carry none.
  if (icloud && (!adapted.photosScaled.empty() || !adapted.photosLeftOut.empty())) {
    text += "／縮小した写真 " + count(adapted.photosScaled.size()) + "件";
    text += "／書き出さなかった写真 " + count(adapted.photosLeftOut.size()) + "件";
  }
  text += "\n";

  if (!report.skipped.empty()) {
    text += "書き出さなかったカード：\n";
    std::size_t shown = 0;
    for (const SkippedCard& card : report.skipped) {
      if (shown == maxCards) break;
      text +=
          "  " + count(card.position) + "件目「" + card.name + "」　" + skipReasonText(card) + "\n";
      ++shown;
    }
    if (report.skipped.size() > shown)
      text += "  ほか " + count(report.skipped.size() - shown) + "件\n";
  }

  if (!adapted.photosScaled.empty()) {
    text += "iCloud.com の上限（写真 " + limitText(kICloudMaxPhotoBytes) + "、カード " +
            limitText(kICloudMaxCardBytes) + "）に合わせて縮小した写真：\n";
    std::size_t shown = 0;
    for (const PhotoAdapted& photo : adapted.photosScaled) {
      if (shown++ == maxCards) break;
      text += "  " + count(photo.position) + "件目「" + photo.name + "」　" +
              kilobytes(photo.sourceBytes) + " → " + kilobytes(photo.writtenBytes) + "（JPEG）\n";
    }
    if (adapted.photosScaled.size() > maxCards)
      text += "  ほか " + count(adapted.photosScaled.size() - maxCards) + "件\n";
  }
  if (!adapted.photosLeftOut.empty()) {
    text += "上限に収まらないため書き出さなかった写真（カードは書き出しています）：\n";
    std::size_t shown = 0;
    for (const PhotoAdapted& photo : adapted.photosLeftOut) {
      if (shown++ == maxCards) break;
      text += "  " + count(photo.position) + "件目「" + photo.name + "」　" +
              kilobytes(photo.sourceBytes) +
              (photo.format.empty() ? std::string("（形式不明）") : "（" + photo.format + "）") +
              "\n";
    }
    if (adapted.photosLeftOut.size() > maxCards)
      text += "  ほか " + count(adapted.photosLeftOut.size() - maxCards) + "件\n";
  }
  if (!adapted.parts.empty()) {
    text += "1ファイル " + count(adapted.parts.empty() ? 0 : adapted.parts.front().cards) +
            "件までのため、" + count(adapted.parts.size()) +
            "個のファイルに分けて書き出しました：\n";
    for (const OutputPart& part : adapted.parts)
      text += "  " + fileNameOf(part.path) + "　" + count(part.cards) + "件\n";
  }
  if (!report.superseded.empty()) {
    text += "前回の変換で書き出した次のファイルは、今回の出力ではないため削除しました：\n";
    for (const std::string& path : report.superseded)
      text += "  " + fileNameOf(path) + "\n";
  }

  const SourceInfo& source = report.source;
  std::string fileLines;
  // The encoding is told where it was not plain to see: guessed, declared,
  // big-endian UTF-16, or chosen for a file with bytes it could not read.
  if (source.basis == EncodingBasis::Guess || source.basis == EncodingBasis::Declared ||
      source.encoding == "UTF-16BE" || source.replaced != 0)
    fileLines +=
        "  文字コード：" + source.encoding + "（" + encodingBasisText(source.basis) + "）\n";
  if (source.carriageReturnLineEnds)
    fileLines += "  改行：CR だけの改行（古い Mac の形式）として読みました\n";
  if (source.zeroBytesDropped != 0)
    fileLines += "  ゼロバイト " + count(source.zeroBytesDropped) + "個を読み飛ばしました\n";
  if (source.replaced != 0) {
    fileLines +=
        "  読めない文字 " + count(source.replaced) + "個を「\xEF\xBF\xBD」に置き換えました";
    fileLines += cardPlaces(report.replacedCards, maxCards) + "\n";
  }
  if (source.marksDropped != 0)
    fileLines +=
        "  ファイル途中の BOM（U+FEFF）" + count(source.marksDropped) + "個を取り除きました\n";
  if (!report.dropped.empty()) {
    fileLines += "  " + droppedWhat + (icloud ? "：" : "（書き出していません）：");
    const std::vector<DroppedProperty> ordered = droppedInReportOrder(report.dropped);
    for (std::size_t i = 0; i < ordered.size(); ++i) {
      if (i > 0) fileLines += "、";
      fileLines += droppedEntry(ordered[i]);
    }
    fileLines += "\n";
  }
  if (report.photosByAddress != 0)
    fileLines += "  ウェブ上の写真（アドレスだけのもの）は取り込めないため、書き出していません：" +
                 countWithUnit(report.photosByAddress, "件") + "\n";
  const PictogramInfo& pictograms = source.pictograms;
  if (pictograms.codes != 0) {
    fileLines += "  携帯電話の絵文字：";
    fileLines += pictograms.carrier == Carrier::None
                     ? "変換していません"
                     : carrierText(pictograms.carrier) + "の絵文字として変換";
    fileLines += "（" + carrierBasisText(pictograms) + "）\n";
    if (pictograms.mapped != 0)
      fileLines += "  絵文字 " + count(pictograms.mapped) + "個を Unicode の絵文字にしました\n";
  }
  if (report.privateUseLeft != 0) {
    fileLines += "  私用領域の文字（iPhone では表示されない絵文字や外字）" +
                 count(report.privateUseLeft) + "個が残っています";
    fileLines += cardPlaces(report.privateUseCards, maxCards) + "\n";
  }
  if (!fileLines.empty()) text += "ファイル全体：\n" + fileLines;
  return text + "\n";
}

}  // namespace vcard
