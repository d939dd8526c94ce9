// A small replacement for libFuzzer's main, so that every fuzz target also runs in the ordinary
// build as a test: it feeds each file of the given folders (or files) to LLVMFuzzerTestOneInput,
// then a fixed number of deterministic mutations of them. The same seed gives the same inputs on
// every machine, so a failure here can be run again exactly.
//
// Usage: <target> [--mutations N] [--seed S] [--max-size BYTES] FOLDER|FILE...
//
// When an input makes the process die (a crash, a sanitizer finding, an exception nobody caught),
// the input is written to "crash-<target>" in the working folder first and its path printed; run
// the target on that file alone to reproduce.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

// The input under test, kept where the crash handlers can reach it without allocating.
const std::string* gCurrent = nullptr;
char gCrashPath[512] = "crash-input";

void DumpCurrent() {
    static bool dumped = false;
    if (dumped || gCurrent == nullptr) return;
    dumped = true;
    int fd = ::open(gCrashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        const char* p = gCurrent->data();
        size_t left = gCurrent->size();
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        ::close(fd);
    }
    const char note[] = "\nfuzz driver: the failing input is in ";
    (void)!::write(2, note, sizeof note - 1);
    (void)!::write(2, gCrashPath, std::strlen(gCrashPath));
    (void)!::write(2, "\n", 1);
}

void OnSignal(int sig) {
    DumpCurrent();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void OnTerminate() {
    DumpCurrent();
    if (std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            std::fprintf(stderr, "fuzz driver: uncaught exception: %s\n", ex.what());
        } catch (...) {
            std::fprintf(stderr, "fuzz driver: uncaught exception of unknown type\n");
        }
    }
    std::abort();
}

// xorshift64*: defined to the bit, unlike the distributions of <random>.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // A number in [0, n); n > 0.
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }

private:
    uint64_t state_;
};

const uint64_t kInteresting[] = {
    0,      1,      0x7F,    0x80,       0xFF,       0x100,      0x7FFF,
    0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFull};

void Mutate(std::string& s, const std::vector<std::string>& corpus, Rng& rng, size_t maxSize) {
    switch (rng.Below(9)) {
        case 0:  // flip one bit
            if (!s.empty()) s[rng.Below(s.size())] ^= static_cast<char>(1u << rng.Below(8));
            break;
        case 1:  // set one byte
            if (!s.empty()) s[rng.Below(s.size())] = static_cast<char>(rng.Next());
            break;
        case 2: {  // write an interesting number, little- or big-endian, 1 to 8 bytes wide
            if (s.empty()) break;
            size_t width = size_t{1} << rng.Below(4);
            size_t at = rng.Below(s.size());
            uint64_t v = kInteresting[rng.Below(std::size(kInteresting))];
            bool big = rng.Below(2) == 1;
            for (size_t i = 0; i < width && at + i < s.size(); ++i) {
                size_t shift = 8 * (big ? width - 1 - i : i);
                s[at + i] = static_cast<char>((v >> shift) & 0xFF);
            }
            break;
        }
        case 3:  // cut the end off
            if (!s.empty()) s.resize(rng.Below(s.size()));
            break;
        case 4: {  // erase a range
            if (s.empty()) break;
            size_t at = rng.Below(s.size());
            s.erase(at, 1 + rng.Below(std::min<size_t>(s.size() - at, 16)));
            break;
        }
        case 5: {  // insert random bytes
            size_t at = s.empty() ? 0 : rng.Below(s.size() + 1);
            std::string bytes(1 + rng.Below(8), '\0');
            for (char& c : bytes) c = static_cast<char>(rng.Next());
            s.insert(at, bytes);
            break;
        }
        case 6: {  // repeat a range of the input
            if (s.empty()) break;
            size_t at = rng.Below(s.size());
            size_t len = 1 + rng.Below(std::min<size_t>(s.size() - at, 64));
            std::string piece = s.substr(at, len);
            size_t times = 1 + rng.Below(4);
            for (size_t i = 0; i < times; ++i) s.insert(rng.Below(s.size() + 1), piece);
            break;
        }
        case 7: {  // splice: the start of this input with the end of another corpus input
            const std::string& other = corpus[rng.Below(corpus.size())];
            size_t keep = s.empty() ? 0 : rng.Below(s.size() + 1);
            size_t from = other.empty() ? 0 : rng.Below(other.size() + 1);
            s = s.substr(0, keep) + other.substr(from);
            break;
        }
        default: {  // copy a range of another corpus input over this one
            const std::string& other = corpus[rng.Below(corpus.size())];
            if (other.empty() || s.empty()) break;
            size_t from = rng.Below(other.size());
            size_t len = 1 + rng.Below(std::min<size_t>(other.size() - from, 32));
            size_t at = rng.Below(s.size());
            s.replace(at, std::min(len, s.size() - at), other, from, len);
            break;
        }
    }
    if (s.size() > maxSize) s.resize(maxSize);
}

void Run(const std::string& input) {
    gCurrent = &input;
    // libFuzzer never hands over a null pointer; neither do we.
    static const uint8_t kEmpty = 0;
    const uint8_t* data = input.empty() ? &kEmpty : reinterpret_cast<const uint8_t*>(input.data());
    LLVMFuzzerTestOneInput(data, input.size());
    gCurrent = nullptr;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t mutations = 0;
    uint64_t seed = 1;
    size_t maxSize = 64 * 1024;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--mutations" || arg == "--seed" || arg == "--max-size") && i + 1 < argc) {
            uint64_t v = std::strtoull(argv[++i], nullptr, 10);
            if (arg == "--mutations")
                mutations = v;
            else if (arg == "--seed")
                seed = v;
            else
                maxSize = static_cast<size_t>(v);
        } else if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> inFolder;
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) inFolder.push_back(entry.path());
            std::sort(inFolder.begin(), inFolder.end());
            files.insert(files.end(), inFolder.begin(), inFolder.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.emplace_back(arg);
        } else {
            // A folder of regression inputs exists only once something was found.
            std::fprintf(stderr, "fuzz driver: skipping %s (no such file or folder)\n",
                         arg.c_str());
        }
    }

    std::string name = std::filesystem::path(argv[0]).filename().string();
    std::snprintf(gCrashPath, sizeof gCrashPath, "crash-%s", name.c_str());
    std::set_terminate(OnTerminate);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, OnSignal);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(DumpCurrent);
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

    auto start = std::chrono::steady_clock::now();
    std::vector<std::string> corpus;
    for (const auto& path : files) {
        corpus.push_back(ReadAll(path));
        Run(corpus.back());
    }
    if (corpus.empty()) corpus.emplace_back();

    Rng rng(seed);
    for (uint64_t n = 0; n < mutations; ++n) {
        std::string input = corpus[rng.Below(corpus.size())];
        size_t steps = 1 + rng.Below(4);
        for (size_t k = 0; k < steps; ++k) Mutate(input, corpus, rng, maxSize);
        Run(input);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu files and %llu mutations run in %.2f s\n", name.c_str(), files.size(),
                static_cast<unsigned long long>(mutations), seconds);
    return 0;
}
