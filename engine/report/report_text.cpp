// The conversion report's texts. Everything here is plain formatting of what
// the engine collected; nothing is logged.
#include "vcard_report.h"

#include <string>
#include <string_view>
#include <vector>

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

// A count and its unit: "12件".
std::string countWithUnit(std::uint64_t n, std::string_view unit) {
  return count(n) + std::string(unit);
}

// One left-out property as a person would name it: "グループ名（X-GN）1件";
// a name the table does not know as itself: "X-FOO 1件". The text is plain:
// it goes to a terminal, a JSON document and a page as well as the window,
// and is searched and copied from them. Where a line of the window or the
// page may break is theirs to decide.
std::string droppedEntry(const DroppedProperty& property) {
  const std::optional<PropertyLabel> label = propertyLabel(property.name);
  const std::string amount = countWithUnit(property.count, "件");
  if (!label) return property.name + " " + amount;
  std::string text = std::string(label->description) + "（" + property.name;
  if (!label->note.empty()) text += "、" + std::string(label->note);
  return text + "）" + amount;
}

}  // namespace

bool ConversionReport::worthTelling() const {
  if (!loaded) return false;
  return !skipped.empty() || !icloud.photosScaled.empty() || !icloud.photosLeftOut.empty() ||
         !icloud.parts.empty() || !dropped.empty() || source.zeroBytesDropped != 0 ||
         source.replaced != 0 || source.marksDropped != 0 || source.carriageReturnLineEnds ||
         source.encoding == "UTF-16BE" || source.basis == EncodingBasis::Guess ||
         source.basis == EncodingBasis::Declared || source.pictograms.codes != 0 ||
         privateUseLeft != 0 || photosByAddress != 0 || noCardFound || !superseded.empty() ||
         unreadableLines != 0;
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
      return "携帯電話から書き出したファイルに見えないため。パソコンで作った独自の文字かもしれませ"
             "ん";
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
      return "カードの途中でファイルが終わっています";
    case SkipReason::ContactGroup:
      return "連絡先グループのため書き出していません（" + card.detail + "）";
  }
  return {};
}

std::string encodingBasisText(EncodingBasis basis) {
  switch (basis) {
    case EncodingBasis::ByteOrderMark:
      return "ファイルの先頭の目印による";
    case EncodingBasis::Content:
      return "ファイルの内容から判定";
    case EncodingBasis::Declared:
      return "ファイルの中の文字コードの指定による";
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
  // The log's input count is the cards that ended: the written ones and
  // those left out. A card the file cuts off never ended, so it is counted
  // apart, and the counts of a run add up.
  std::uint64_t cutOff = 0;
  for (const SkippedCard& card : report.skipped)
    cutOff += card.reason == SkipReason::NeverClosed ? 1 : 0;
  const std::uint64_t leftOut = report.skipped.size() - cutOff;
  // Only what happened: a count of none is noise.
  std::vector<std::string> counts;
  if (leftOut != 0) counts.push_back("書き出さなかったカード " + count(leftOut) + "件");
  if (cutOff != 0)
    counts.push_back("途中で切れたカード " + count(cutOff) + "件（入力データに数えていません）");
  if (droppedTotal != 0) counts.push_back(droppedWhat + " " + count(droppedTotal) + "件");
  if (!adapted.photosScaled.empty())
    counts.push_back("縮小した写真 " + count(adapted.photosScaled.size()) + "件");
  if (!adapted.photosLeftOut.empty())
    counts.push_back("書き出さなかった写真 " + count(adapted.photosLeftOut.size()) + "件");
  std::string text = "【変換レポート】";
  for (std::size_t i = 0; i < counts.size(); ++i)
    text += (i == 0 ? "" : "／") + counts[i];
  text += "\n";

  if (!report.skipped.empty()) {
    text += cutOff == 0    ? "書き出さなかったカード：\n"
            : leftOut == 0 ? "途中で切れたカード：\n"
                           : "書き出さなかったカードと途中で切れたカード：\n";
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
    fileLines += "  ファイルに混じっていた空のデータ（値が 0 のバイト）" +
                 count(source.zeroBytesDropped) + "個を読み飛ばしました\n";
  if (source.replaced != 0) {
    fileLines +=
        "  読めない文字 " + count(source.replaced) + "個を「\xEF\xBF\xBD」に置き換えました";
    fileLines += cardPlaces(report.replacedCards, maxCards) + "\n";
  }
  if (report.unreadableLines != 0) {
    fileLines += "  読めない行（項目の形になっていない行）" + count(report.unreadableLines) +
                 "行は書き出していません";
    fileLines += cardPlaces(report.unreadableLineCards, maxCards) + "\n";
  }
  if (source.marksDropped != 0)
    fileLines += "  ファイルの途中にあった目印の文字（U+FEFF）" + count(source.marksDropped) +
                 "個を取り除きました\n";
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
    fileLines +=
        "  iPhone で表示されない文字（変換できなかった絵文字や、パソコンで作った独自の文字）" +
        count(report.privateUseLeft) + "個が残っています";
    fileLines += cardPlaces(report.privateUseCards, maxCards) + "\n";
  }
  if (!fileLines.empty()) text += "ファイル全体：\n" + fileLines;
  return text + "\n";
}

}  // namespace vcard
