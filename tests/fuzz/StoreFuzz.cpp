// Fuzz target: the settings store file parser. Any bytes must parse or raise RegParseError; a store
// that parsed must take a new string value, serialize, parse again and give that value back, since
// the program rewrites the user's file that way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/RegistryFile.h"

namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Fuzz\\Settings";

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace parvell::store;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegistryFile file;
    try {
        file = RegistryFile::Parse(bytes);
    } catch (const RegParseError&) {
        return 0;
    }
    std::string text;
    (void)file.HasKey(kKey);
    (void)file.ReadString(kKey, "Value", text);
    (void)file.ReadString("HKCU\\Software", "", text);

    const std::string written = "C:\\Practice\\Data \"x\"";
    file.SetString(kKey, "Value", written);
    if (file.ReadString(kKey, "Value", text) != StringRead::Found || text != written)
        Fail("a value just set does not read back");
    std::string out = file.Serialize();
    try {
        RegistryFile again = RegistryFile::Parse(out);
        if (again.ReadString(kKey, "Value", text) != StringRead::Found || text != written)
            Fail("a value set and serialized does not read back after parsing");
    } catch (const RegParseError& e) {
        std::fprintf(stderr, "line %d: %s\n", e.line, e.what.c_str());
        Fail("a serialized store does not parse");
    }
    return 0;
}
