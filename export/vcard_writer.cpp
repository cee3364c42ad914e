#include "export/vcard_writer.h"

#include "core/phone.h"
#include "export/lead_fields.h"
#include "export/temp_output.h"

namespace qv::exporting {
namespace {

constexpr size_t kLineOctets = 75;
constexpr int kProgressRows = 256;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void AppendPhones(std::string& card, std::string_view type, std::string_view cell) {
    for (const PhoneNumber& n : ReadPhoneNumbers(cell)) AppendVcardLine(card, type, PhoneText(n));
}

void AppendText(std::string& card, std::string_view name, std::string_view text) {
    if (!text.empty()) AppendVcardLine(card, name, VcardText(text));
}

}  // namespace

std::string VcardText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
            case ',':
            case ';':
                out.push_back('\\');
                out.push_back(c);
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                [[fallthrough]];
            case '\n':
                out.append("\\n");
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out.push_back(c);
                break;
        }
    }
    return out;
}

void AppendVcardLine(std::string& out, std::string_view name, std::string_view value) {
    std::string line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name);
    line.push_back(':');
    line.append(value);
    size_t at = 0;
    size_t room = kLineOctets;
    while (line.size() - at > room) {
        size_t end = at + room;
        while (end > at && IsContinuationByte(line[end])) --end;
        out.append(line, at, end - at);
        out.append("\r\n ");
        at = end;
        room = kLineOctets - 1;  // the blank that begins a continuation line counts
    }
    out.append(line, at, std::string::npos);
    out.append("\r\n");
}

std::int64_t WriteVcards(const StringGrid& grid, TempOutput& file, const ExportOptions& options,
                         const ExportProgress& progress) {
    const LeadColumns columns(grid);
    const int rows = grid.RowCount();
    Lead lead;
    std::string card;
    std::int64_t cards = 0;
    for (int r = 1; r < rows; ++r) {
        ReadLead(grid, columns, r, lead);
        if (!lead.Empty()) {
            ++cards;
            card.clear();
            card.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
            const std::string& person = lead[LeadField::Person];
            const std::string& company = lead[LeadField::Company];
            AppendVcardLine(card, "FN", VcardText(person.empty() ? company : person));
            const PersonName name = SplitPersonName(person);
            AppendVcardLine(card, "N", VcardText(name.family) + ";" + VcardText(name.given) + ";;;");
            AppendText(card, "ORG", company);
            AppendText(card, "TITLE", lead[LeadField::Duty]);
            AppendPhones(card, "TEL;TYPE=CELL", lead[LeadField::Mobile]);
            AppendPhones(card, "TEL;TYPE=WORK,VOICE", lead[LeadField::Phone]);
            AppendPhones(card, "TEL;TYPE=WORK,FAX", lead[LeadField::Fax]);
            const std::string& address = lead[LeadField::Address];
            if (!address.empty() || !lead[LeadField::PostCode].empty()) {
                const Place place = options.locations ? options.locations->Find(address) : Place{};
                AppendVcardLine(card, "ADR;TYPE=WORK",
                                ";;" + VcardText(address) + ";" + VcardText(place.city) + ";" +
                                    VcardText(place.province) + ";" + VcardText(lead[LeadField::PostCode]) +
                                    ";中国");
            }
            AppendText(card, "URL", lead[LeadField::Website]);
            AppendText(card, "NOTE", LeadDescription(lead));
            AppendText(card, "UID", lead[LeadField::MemberId]);
            std::string categories;
            for (const std::string& task : TaskNamesOf(lead, options.task_name))
                categories += (categories.empty() ? "" : ",") + VcardText(task);
            if (!categories.empty()) AppendVcardLine(card, "CATEGORIES", categories);
            card.append("END:VCARD\r\n");
            file.Write(card);
        }
        if (r % kProgressRows == 0 && progress && !progress(r, rows)) throw ExportCancelled();
    }
    if (progress) progress(rows, rows);
    return cards;
}

}  // namespace qv::exporting
