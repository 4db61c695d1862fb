// Arbitrary bytes as define.ini: read as the program reads its settings,
// written back untouched byte for byte, and every setting the program
// writes is what the next read of the written file gives, whatever else the
// file holds. Aborts when that breaks; the sanitizers catch the rest.
//
// Input: byte 0 chooses the values written, the rest is the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace velmora {
namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

constexpr std::string_view kKeys[] = {"Auto", "ComPort", "Prompt", "ComMeg", "SetRTC", "RestoreStatus", "ChkExist"};

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    ProfileFile ini = ProfileFile::parse(bytes);
    require(ini.serialize() == bytes);
    for (std::string_view key : kKeys) {
        (void)ini.readInteger("Form", key, 0);
        (void)ini.readBool("form", key, true);
        (void)ini.readString("FORM", key);
    }

    // The program's writes: every key, values from the choice byte.
    std::int32_t values[std::size(kKeys)];
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        values[i] = (choice >> i) & 1 ? static_cast<std::int32_t>(choice) - 100 : static_cast<std::int32_t>(i);
        require(ini.writeInteger("Form", kKeys[i], values[i]));
    }
    const std::string written = ini.serialize();
    const ProfileFile reread = ProfileFile::parse(written);
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        require(reread.readInteger("Form", kKeys[i], values[i] + 1) == values[i]);
    }
    return 0;
}
