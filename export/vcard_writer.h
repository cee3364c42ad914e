#pragma once
// Contact cards: vCard 3.0 in UTF-8, one card per record, lines ended by CRLF and folded at
// 75 octets, text escaped as RFC 6350 says. Phones in E.164 form, the address split into
// street, city, province, postcode and country.
#include <cstdint>
#include <string>
#include <string_view>

#include "export/export_file.h"
#include "export/string_grid.h"

namespace qv::exporting {

class TempOutput;

// A text value escaped: backslash, comma and semicolon behind a backslash, a line break
// as "\n"; other control characters left out.
std::string VcardText(std::string_view text);

// Appends "NAME:VALUE" and CRLF, folded into lines of at most 75 octets (never inside a
// UTF-8 character), each continuation line beginning with a blank.
void AppendVcardLine(std::string& out, std::string_view name, std::string_view value);

// One card per record of a grid with the member grid's headings (a row without any
// value makes none). Returns the number of cards.
std::int64_t WriteVcards(const StringGrid& grid, TempOutput& file, const ExportOptions& options,
                         const ExportProgress& progress);

}  // namespace qv::exporting
