#include "tests/export/grid_fixtures.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>

namespace qv::test {
namespace {

unsigned U16(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
std::uint32_t U32(const std::string& b, size_t at) {
    return U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

}  // namespace

std::string GbkBytesToUtf8(const std::string& gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    std::string out(gbk.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(gbk.data());
    size_t in_left = gbk.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) throw std::runtime_error("not GBK");
    out.resize(out.size() - dst_left);
    return out;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& bytes) {
    std::string_view text(bytes);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c != '"') {
                field.push_back(c);
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field.push_back('"');
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else {
            field.push_back(c);
        }
    }
    EXPECT_FALSE(quoted) << "a quoted field runs to the end";
    EXPECT_TRUE(row.empty() && field.empty()) << "the last row has no CRLF";
    return rows;
}

BiffCells ReadBiff(const std::string& bytes) {
    BiffCells cells;
    size_t at = 0;
    bool bof = false, eof = false;
    while (at + 4 <= bytes.size()) {
        unsigned id = U16(bytes, at), len = U16(bytes, at + 2);
        EXPECT_LE(at + 4 + len, bytes.size()) << "record overruns the file at " << at;
        if (at + 4 + len > bytes.size()) break;
        std::string data = bytes.substr(at + 4, len);
        if (id == 0x0809) {
            EXPECT_FALSE(bof);
            EXPECT_EQ(at, 0u);
            EXPECT_EQ(data, std::string("\x00\x00\x10\x00\x00\x00\x00\x00", 8));
            bof = true;
        } else if (id == 0x0204) {
            EXPECT_GE(len, 8u);
            unsigned row = U16(data, 0), col = U16(data, 2), xf = U16(data, 4), n = U16(data, 6);
            EXPECT_EQ(xf, 0u);
            EXPECT_EQ(n + 8u, len) << "text length and record length disagree";
            cells.order.emplace_back(row, col);
            cells.text[{static_cast<int>(row), static_cast<int>(col)}] =
                GbkBytesToUtf8(data.substr(8));
        } else if (id == 0x000A) {
            EXPECT_EQ(len, 0u);
            eof = true;
            at += 4;
            break;
        } else {
            ADD_FAILURE() << "unexpected record 0x" << std::hex << id;
        }
        at += 4 + len;
    }
    EXPECT_TRUE(bof && eof);
    EXPECT_EQ(at, bytes.size()) << "bytes after the end-of-file record";
    return cells;
}

std::string ReadZipMember(const std::string& zip, const std::string& name) {
    // The end-of-central-directory record is the last thing in the archive (no comment).
    size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
    if (eocd == std::string::npos) throw std::runtime_error("not a zip archive");
    size_t entries = U16(zip, eocd + 10);
    size_t at = U32(zip, eocd + 16);
    for (size_t i = 0; i < entries; ++i) {
        if (U32(zip, at) != 0x02014b50) throw std::runtime_error("bad central directory");
        unsigned method = U16(zip, at + 10);
        std::uint32_t packed = U32(zip, at + 20), size = U32(zip, at + 24);
        unsigned name_len = U16(zip, at + 28), extra_len = U16(zip, at + 30),
                 note_len = U16(zip, at + 32);
        std::uint32_t local = U32(zip, at + 42);
        std::string entry = zip.substr(at + 46, name_len);
        at += 46 + name_len + extra_len + note_len;
        if (entry != name) continue;
        size_t data = local + 30 + U16(zip, local + 26) + U16(zip, local + 28);
        if (method == 0) return zip.substr(data, size);
        if (method != 8) throw std::runtime_error("unknown zip method");
        std::string out(size, '\0');
        z_stream s{};
        inflateInit2(&s, -MAX_WBITS);
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
        s.avail_in = packed;
        s.next_out = reinterpret_cast<Bytef*>(out.data());
        s.avail_out = size;
        int rc = inflate(&s, Z_FINISH);
        inflateEnd(&s);
        if (rc != Z_STREAM_END) throw std::runtime_error("cannot inflate " + name);
        return out;
    }
    return {};
}

}  // namespace qv::test
