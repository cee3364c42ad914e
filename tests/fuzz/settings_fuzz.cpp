// The settings reader on any config.ini, and one write into it: the written value must
// read back, and the file must stay readable.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/ini_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// One file per process in the temporary folder, rewritten for every input.
const std::string& ScratchFile() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("quorvane-fuzz-" + std::to_string(::getpid()) + ".ini"))
            .string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string& file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ReadSetting(file, settings::kShowToolbar);
    ReadSetting(file, settings::kCollectCompanyDetail);
    const std::string host = ReadSetting(file, settings::kSearchHost);
    for (const char* key : settings::kSearchHistoryKeys)
        TIniFileEx::ReadString(file, settings::kSearchHistorySection, key, "");
    TIniFileEx::ReadBool(file, "Options", "", false);

    WriteSetting(file, settings::kCollectCompanyDetail, true);
    fuzz::Check(ReadSetting(file, settings::kCollectCompanyDetail), "a written setting does not read back");
    WriteSetting(file, settings::kSearchHost, "http://127.0.0.1:8080");
    fuzz::Check(ReadSetting(file, settings::kSearchHost) == "http://127.0.0.1:8080",
                "a written text does not read back");
    std::filesystem::remove(file);
    std::filesystem::remove(file + ".lock");
    return 0;
}
