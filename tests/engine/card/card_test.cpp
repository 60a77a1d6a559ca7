// The card model: properties as ranges of the card's text, its iPhone form,
// the card list's nesting, positions and recycling, and a card's name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/card_list.h"
#include "param_names.h"
#include "report/report_notes.h"
#include "utf8.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::detail::Card;
using vcard::detail::CardList;
using vcard::detail::Property;

// Builds a card the way the rules do: BEGIN, a property with parameters, one
// abandoned half-way (a value that could not be converted), a grouped one,
// END.
Card sampleCard() {
  Card card;
  card.beginProperty("BEGIN:VCARD", Property::Kind::Begin);
  card.endProperty();
  card.beginProperty("TEL");
  card.addParameter("CELL");
  card.addParameter("");
  card.beginValue();
  card.valueText().append("090");
  card.endProperty();
  card.beginProperty("NOTE");
  card.addParameter("X=1");
  card.beginValue();
  card.valueText().append("half");
  card.abandonProperty();
  card.addProperty("item1", "X-ABLabel", "_$!<Other>!$_");
  card.beginProperty("END:VCARD", Property::Kind::End);
  card.endProperty();
  return card;
}

TEST(CardTest, WritesEveryPropertyButTheAbandonedAndDroppedOnes) {
  Card card = sampleCard();
  EXPECT_EQ(card.iPhoneText(),
            "BEGIN:VCARD\r\nTEL;CELL;:090\r\nitem1.X-ABLabel:_$!<Other>!$_\r\nEND:VCARD\r\n");
  ASSERT_EQ(card.properties().size(), 4u);
  const Property& tel = card.properties()[1];
  EXPECT_EQ(card.text(tel.name), "TEL");
  EXPECT_EQ(tel.parameterCount, 2u);
  EXPECT_EQ(card.text(card.parameter(tel, 0)), "CELL");
  EXPECT_EQ(card.text(tel.value), "090");
  EXPECT_EQ(card.text(card.properties()[2].group), "item1");

  // Settling edits the list: a part stored later may replace a value.
  card.properties()[1].value = card.store("080");
  card.properties()[2].dropped = true;
  EXPECT_EQ(card.iPhoneText(), "BEGIN:VCARD\r\nTEL;CELL;:080\r\nEND:VCARD\r\n");

  card.clear();
  EXPECT_EQ(card.iPhoneText(), "");
}

// The UTF-16LE form written straight from the card is the UTF-8 form
// encoded; a part that is not UTF-8 fails the card and appends nothing.
TEST(CardTest, EncodesTheIPhoneFormAsUTF16LE) {
  Card card = sampleCard();
  card.addProperty("", "N", "\xE5\xB1\xB1\xE7\x94\xB0;\xF0\x9F\x98\x80;\xC3\xA9");
  std::string expected = "kept";
  ASSERT_TRUE(utf::convertUTF8ToUTF16LE(card.iPhoneText(), &expected));
  std::string out = "kept";
  EXPECT_TRUE(card.appendIPhoneUTF16LE(&out));
  EXPECT_EQ(out, expected);

  card.addProperty("", "NOTE", "\xE5\xB1");
  out = "kept";
  EXPECT_FALSE(card.appendIPhoneUTF16LE(&out));
  EXPECT_EQ(out, "kept");
}

TEST(CardListTest, NestedCardsEndInnermostFirstAndAreRecycled) {
  CardList cards;
  EXPECT_EQ(cards.current(), nullptr);
  vcard::detail::OpenCard& outer = cards.begin();
  outer.card.addProperty({}, "N", "outer");
  vcard::detail::OpenCard& inner = cards.begin();
  EXPECT_EQ(cards.current(), &inner);
  EXPECT_EQ(outer.position, 1u);
  EXPECT_EQ(inner.position, 2u);
  inner.rejected = true;
  cards.end();
  cards.close();
  EXPECT_EQ(cards.current(), &outer);
  cards.end();
  cards.close();
  EXPECT_EQ(cards.current(), nullptr);
  EXPECT_EQ(cards.begun(), 2u);
  EXPECT_EQ(cards.ended(), 2u);
  EXPECT_EQ(cards.written(), 1u);

  // A recycled card starts empty, whatever the one before held.
  vcard::detail::OpenCard& next = cards.begin();
  EXPECT_EQ(next.position, 3u);
  EXPECT_FALSE(next.rejected);
  EXPECT_FALSE(next.ended);
  EXPECT_EQ(next.card.iPhoneText(), "");
}

TEST(CardListTest, KeptCardsStayWithTheirTexts) {
  CardList cards(true);
  cards.begin().card.addProperty({}, "N", "a");
  cards.end();
  cards.close();
  cards.begin();
  ASSERT_EQ(cards.closedCards().size(), 1u);
  EXPECT_EQ(cards.closedCards()[0]->card.iPhoneText(), "N:a\r\n");
  EXPECT_EQ(cards.closedCards()[0]->position, 1u);
  EXPECT_EQ(cards.current()->position, 2u);
}

struct NameCase {
  std::string_view name;
  std::vector<std::vector<std::string>> properties;  // group, name, value
  std::string expected;
};

const NameCase kNameCases[] = {
    {"Components", {{"", "N", "山田;太郎;;;"}}, "山田 太郎"},
    {"LowerCaseName", {{"", "n", "Doe;John"}}, "Doe John"},
    {"FoldUndone", {{"", "N", "Yama\r\n da;Taro"}}, "Yamada Taro"},
    {"EscapesUndone", {{"", "N", "a\\;b;c\\,d"}}, "a;b c,d"},
    {"BlankComponentsSkipped", {{"", "N", " ; Taro ;  ;;"}}, "Taro"},
    {"GroupedNameIsNoName", {{"item1", "N", "x"}, {"", "N", "y"}}, "y"},
    {"FirstNameOnly", {{"", "N", "a"}, {"", "N", "b"}}, "a"},
    {"NoName", {{"", "NOTE", "x"}}, ""},
};

class NameOfCardTest : public testing::TestWithParam<NameCase> {};

TEST_P(NameOfCardTest, ReadsTheFirstUngroupedN) {
  Card card;
  for (const auto& property : GetParam().properties)
    card.addProperty(property[0], property[1], property[2]);
  EXPECT_EQ(vcard::detail::nameOfCard(card), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cards, NameOfCardTest, testing::ValuesIn(kNameCases), CaseName{});

}  // namespace
