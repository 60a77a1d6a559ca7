// The conversion's result and report as one JSON document, for scripts
// (vcard-convert --json) and the web page alike.
#include "report_json.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

#include "report/property_labels.h"

namespace {

const char* reasonKey(vcard::SkipReason reason) {
  switch (reason) {
    case vcard::SkipReason::UnsupportedVersion:
      return "unsupportedVersion";
    case vcard::SkipReason::UnsupportedCharset:
      return "unsupportedCharset";
    case vcard::SkipReason::CharsetNotInBuild:
      return "charsetNotInBuild";
    case vcard::SkipReason::UnsupportedEncoding:
      return "unsupportedEncoding";
    case vcard::SkipReason::NeverClosed:
      return "neverClosed";
    case vcard::SkipReason::ContactGroup:
      return "contactGroup";
  }
  return "";
}

const char* carrierKey(vcard::Carrier carrier) {
  switch (carrier) {
    case vcard::Carrier::Docomo:
      return "docomo";
    case vcard::Carrier::AU:
      return "au";
    case vcard::Carrier::SoftBank:
      return "softbank";
    case vcard::Carrier::None:
      break;
  }
  return "none";
}

const char* carrierBasisKey(vcard::CarrierBasis basis) {
  switch (basis) {
    case vcard::CarrierBasis::NoPictograms:
      return "noPictograms";
    case vcard::CarrierBasis::Specified:
      return "specified";
    case vcard::CarrierBasis::CarrierOnlyCode:
      return "carrierOnlyCode";
    case vcard::CarrierBasis::Declared:
      return "declared";
    case vcard::CarrierBasis::OnlyCovering:
      return "onlyCovering";
    case vcard::CarrierBasis::NotPhoneExport:
      return "notPhoneExport";
    case vcard::CarrierBasis::Conflict:
      return "conflict";
    case vcard::CarrierBasis::Ambiguous:
      return "ambiguous";
  }
  return "";
}

const char* basisKey(vcard::EncodingBasis basis) {
  switch (basis) {
    case vcard::EncodingBasis::ByteOrderMark:
      return "byteOrderMark";
    case vcard::EncodingBasis::Content:
      return "content";
    case vcard::EncodingBasis::Declared:
      return "declared";
    case vcard::EncodingBasis::Guess:
      return "guess";
    case vcard::EncodingBasis::None:
      break;
  }
  return "none";
}

std::string dumped(const nlohmann::ordered_json& document) {
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

namespace vcard {

// The result and the report as one document for scripts. Texts are UTF-8;
// a name with bytes that are not (none should reach here) is replaced
// rather than failing the whole document.
std::string reportJson(const std::array<std::string, 2>& result, const ConversionReport& report,
                       int exitCode) {
  nlohmann::ordered_json document;
  document["exitCode"] = exitCode;
  document["inCount"] = report.inCount;
  document["outCount"] = report.outCount;
  document["alert"] = result[0];
  document["log"] = result[1];
  nlohmann::ordered_json cards = nlohmann::ordered_json::array();
  for (const vcard::SkippedCard& card : report.skipped) {
    cards.push_back({{"position", card.position},
                     {"name", card.name},
                     {"reason", reasonKey(card.reason)},
                     {"detail", card.detail},
                     {"message", vcard::skipReasonText(card)}});
  }
  document["skippedCards"] = cards;
  if (report.loaded) {
    document["source"] = {{"encoding", report.source.encoding},
                          {"basis", basisKey(report.source.basis)},
                          {"zeroBytesDropped", report.source.zeroBytesDropped},
                          {"replaced", report.source.replaced},
                          {"replacedCards", report.replacedCards},
                          {"marksDropped", report.source.marksDropped},
                          {"unreadableLines", report.unreadableLines},
                          {"unreadableLineCards", report.unreadableLineCards},
                          {"carriageReturnLineEnds", report.source.carriageReturnLineEnds}};
  } else {
    document["source"] = nullptr;
  }
  nlohmann::ordered_json dropped = nlohmann::ordered_json::array();
  // In the text's order, each with the text's description; null where the
  // table does not know the name.
  for (const vcard::DroppedProperty& property : vcard::droppedInReportOrder(report.dropped)) {
    const std::optional<vcard::PropertyLabel> label = vcard::propertyLabel(property.name);
    dropped.push_back({{"name", property.name},
                       {"label", label ? nlohmann::ordered_json(std::string(label->description))
                                       : nlohmann::ordered_json(nullptr)},
                       {"count", property.count}});
  }
  document["droppedProperties"] = dropped;
  // Only 4.0 cards give a photo as an address; the key appears when one did.
  if (report.photosByAddress != 0) document["photosByAddress"] = report.photosByAddress;
  // The keys of a source with no card and of an earlier run's files removed
  // appear when that happened.
  if (report.noCardFound) document["noCardFound"] = true;
  if (!report.superseded.empty()) document["supersededFiles"] = report.superseded;
  if (report.target == vcard::Target::ICloud) {
    auto photos = [](const std::vector<vcard::PhotoAdapted>& list) {
      nlohmann::ordered_json array = nlohmann::ordered_json::array();
      for (const vcard::PhotoAdapted& photo : list) {
        array.push_back({{"position", photo.position},
                         {"name", photo.name},
                         {"format", photo.format},
                         {"sourceBytes", photo.sourceBytes},
                         {"writtenBytes", photo.writtenBytes}});
      }
      return array;
    };
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const vcard::OutputPart& part : report.icloud.parts)
      files.push_back({{"path", part.path}, {"cards", part.cards}});
    document["target"] = "icloud";
    document["icloud"] = {{"photosScaled", photos(report.icloud.photosScaled)},
                          {"photosLeftOut", photos(report.icloud.photosLeftOut)},
                          {"files", files}};
  }
  if (report.loaded) {
    const vcard::PictogramInfo& pictograms = report.source.pictograms;
    document["pictograms"] = {{"carrier", carrierKey(pictograms.carrier)},
                              {"basis", carrierBasisKey(pictograms.basis)},
                              {"reason", vcard::carrierBasisText(pictograms)},
                              {"codes", pictograms.codes},
                              {"mapped", pictograms.mapped},
                              {"privateUseLeft", report.privateUseLeft},
                              {"privateUseCards", report.privateUseCards}};
  } else {
    document["pictograms"] = nullptr;
  }
  document["report"] = vcard::reportText(report);
  return dumped(document);
}

// The document of a run that stopped before converting (a usage error, a
// source check, an output already there): the keys of a conversion's
// document, with nothing read and the message as the alert, so that a
// script reads standard output the same way whatever happened. A file
// path or argument that is not UTF-8 is replaced, as above.
std::string failureJson(const std::string& alert, int exitCode, Target target) {
  nlohmann::ordered_json document;
  document["exitCode"] = exitCode;
  document["inCount"] = 0;
  document["outCount"] = 0;
  document["alert"] = alert;
  document["log"] = "";
  document["skippedCards"] = nlohmann::ordered_json::array();
  document["source"] = nullptr;
  document["droppedProperties"] = nlohmann::ordered_json::array();
  if (target == vcard::Target::ICloud) {
    document["target"] = "icloud";
    document["icloud"] = nullptr;
  }
  document["pictograms"] = nullptr;
  document["report"] = nullptr;
  return dumped(document);
}

}  // namespace vcard
