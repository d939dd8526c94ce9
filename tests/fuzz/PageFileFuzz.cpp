// Fuzz target: the page-file loader of the label preview. Any bytes must load into a store whose
// every page reads back, or raise Exception; nothing is half-loaded and nothing crashes.
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "common/Exceptions.h"
#include "report/VRPageFile.h"

namespace {

struct World {
    int argc = 1;
    char name[16] = "page-file-fuzz";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> app;
    QTemporaryDir folder;

    World() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        if (!folder.isValid()) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    const QString path = world.folder.filePath("fuzz.vrp");
    {
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        // A small memory limit sends larger inputs through the store's file as well.
        std::unique_ptr<parvell::TVRPageStore> store = parvell::LoadPageFile(path, 4096);
        for (int page = 1; page <= store->Count(); ++page) (void)store->Page(page);
    } catch (const parvell::Exception&) {
    }
    return 0;
}
