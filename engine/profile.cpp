#include "engine/profile.h"

#include <algorithm>

#include "core/field_cipher.h"
#include "core/gbk.h"
#include "core/text.h"
#include "engine/fast_strings.h"
#include "engine/markup.h"
#include "engine/site_markers.h"

namespace qv {
namespace {

constexpr int kIntro = 0;
constexpr int kBank = 14;
constexpr int kBankAccount = 15;

using View = std::u16string_view;

// Positions as signed numbers, so that "position + length" and "position - 1" read as
// the scanning rules say.
long long PosOf(View x, View t) { return static_cast<long long>(Pos(x, t)); }

// The part of p from its first "<tr>" through the end of its first "</tr>".
View FirstRow(View p) {
    const long long end = PosOf(site::kTrClose, p);
    if (end == 0) return {};
    const long long start = std::max(PosOf(site::kTrOpen, p), 1LL);
    const long long last = end + static_cast<long long>(site::kTrClose.size()) - 1;
    return First(From(p, start), last - start + 1);
}

std::u16string Cell(View text, int n) { return TagText(site::kTdOpen, site::kTdClose, text, n); }

bool Contains(View text, View label) { return Pos(label, text) > 0; }

// One label row and the value row below it. Only the first label in table order is
// taken, so a row with two labels gives one value.
void TakeRowPair(View label_row, View value_row, ProfileValues& values) {
    const std::u16string label1 = Cell(label_row, 1);
    const std::u16string label2 = Cell(label_row, 2);
    for (const site::ProfileLabel& l : site::kProfileLabels) {
        if (Contains(label1, l.label)) {
            values[l.value] = Trim(Cell(value_row, 1));
            return;
        }
        if (Contains(label2, l.label)) {
            values[l.value] = Trim(Cell(value_row, 2));
            return;
        }
    }
}

std::string Quoted(const std::u16string& value) { return QuotedStr(Utf16ToUtf8(value)); }

std::string QuotedEnciphered(std::string_view plain_utf8) {
    return QuotedStr(EncipherTextHex(plain_utf8, FieldCipherKey));
}

}  // namespace

void ParseTypelistProfile(std::u16string_view p, ProfileValues& values) {
    if (const long long s = PosOf(site::kIntroSpan, p); s > 0) {
        p = From(p, s);
        values[kIntro] =
            Trim(RemoveAll(TagText(site::kSpanOpen, site::kSpanClose, p, 1), site::kNbsp));
    }
    const long long t = PosOf(site::kTypelist, p);
    if (t == 0) return;
    p = From(p, t);
    p = First(p, PosOf(site::kTableClose, p) - 1);

    // Every value row is also the label row of the next pass.
    for (int pass = 0; pass < site::kTypelistRowPairs; ++pass) {
        const View label_row = FirstRow(p);
        p = From(p, PosOf(site::kTrClose, p) + static_cast<long long>(site::kTrClose.size()));
        TakeRowPair(label_row, FirstRow(p), values);
    }
}

void ParseBodyContProfile(std::u16string_view p, ProfileValues& values) {
    p = From(p, PosOf(site::kBodyCont, p));

    std::u16string intro = TagText(site::kDivOpen, site::kDivClose, p, 3);
    if (const long long k = PosOf(site::kNextAd, intro); k > 0)
        intro = std::u16string(From(intro, k + site::kNextAdSkip));
    values[kIntro] = Trim(ReplaceAll(intro, site::kNbsp, u" ", true));

    const long long a = std::max(PosOf(site::kTableOpen, p), 1LL);
    const long long b = PosOf(site::kTableClose, p);
    p = b > a ? First(From(p, a), b - a) : View{};

    // Every label is tested on every pair; a later pair overwrites an earlier one.
    for (int i = 1; i < site::kBodyContCells; i += 2) {
        const std::u16string label = Cell(p, i);
        if (label.empty()) continue;
        const std::u16string value = Trim(Cell(p, i + 1));
        for (const site::ProfileLabel& l : site::kProfileLabels)
            if (Contains(label, l.label)) values[l.value] = value;
    }
}

ProfileValues ParseProfilePage(std::u16string_view text) {
    ProfileValues values;
    if (Pos(site::kBodyCont, text) > 0) ParseBodyContProfile(text, values);
    else ParseTypelistProfile(text, values);
    return values;
}

std::string BuildDetailUpdateStatement(const ProfileValues& values,
                                       std::string_view company_name_utf8) {
    std::string sql = "update datalist set ";
    for (int i = 0; i < kProfileValueCount; ++i) {
        if (i > 0) sql += ',';
        sql += kProfileColumnNames[i];
        sql += '=';
        sql += (i == kBank || i == kBankAccount) ? QuotedEnciphered(Utf16ToUtf8(values[i]))
                                                 : Quoted(values[i]);
    }
    sql += " where CompanyName=";
    sql += QuotedEnciphered(company_name_utf8);
    return sql;
}

}  // namespace qv
