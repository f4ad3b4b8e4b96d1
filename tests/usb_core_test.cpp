#include "rfidusb_core.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using namespace rfidusb;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes makeFrame(std::uint8_t address, std::uint8_t command, const Bytes& data) {
    Bytes f{0xAA, address, static_cast<std::uint8_t>(data.size() + 1), command};
    f.insert(f.end(), data.begin(), data.end());
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    f.push_back(0xBB);
    return f;
}

HidCandidate entry(const char* path, std::uint16_t vid, std::uint16_t pid, int iface, std::uint16_t page,
                   std::uint16_t usage) {
    return HidCandidate{path, vid, pid, page, usage, iface};
}

} // namespace

TEST(UsbDeviceId, ParsesVendorProductAndInterface) {
    auto id = parseDeviceId("04d8:003F");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendor, 0x04d8);
    EXPECT_EQ(id->product, 0x003f);
    EXPECT_EQ(id->interfaceNumber, -1);

    id = parseDeviceId(" FFFF:1:2 \n");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendor, 0xffff);
    EXPECT_EQ(id->product, 0x0001);
    EXPECT_EQ(id->interfaceNumber, 2);
}

TEST(UsbDeviceId, RejectsMalformedText) {
    for (const char* bad : {"", "04d8", "04d8:", ":003f", "04d8:003g", "104d8:003f", "04d8:003f:",
                            "04d8:003f:x", "04d8:003f:1:2", "04d8:003f:256", "0x4d8:3f", "04d8 003f"})
        EXPECT_FALSE(parseDeviceId(bad)) << '"' << bad << '"';
}

TEST(UsbChooseCandidate, PrefersVendorInterfaceOverKeyboardOfSameReader) {
    const std::vector<DeviceId> wanted{{0x1234, 0x5678, -1}};
    // The keyboard interface is listed first, as the kernel usually numbers it first.
    const std::vector<HidCandidate> list{
        entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006),
        entry("/dev/hidraw1", 0x1234, 0x5678, 1, 0xFF00, 0x0001),
    };
    EXPECT_EQ(chooseCandidate(list, wanted), 1u);
}

TEST(UsbChooseCandidate, NeverPicksAKeyboard) {
    const std::vector<DeviceId> wanted{{0x1234, 0x5678, -1}};
    EXPECT_FALSE(chooseCandidate({entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006)}, wanted));
    // Even when asked for the keyboard's interface explicitly.
    EXPECT_FALSE(chooseCandidate({entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006),
                                  entry("/dev/hidraw1", 0x1234, 0x5678, 1, 0xFF00, 0x0001)},
                                 {{0x1234, 0x5678, 0}}));
    // Another collection of the keyboard's own node (e.g. consumer keys) is not the command channel.
    EXPECT_FALSE(chooseCandidate({entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006),
                                  entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x000C, 0x0001)},
                                 wanted));
}

TEST(UsbChooseCandidate, RanksNodesSharedWithAKeyboardLast) {
    const std::vector<DeviceId> wanted{{0x1234, 0x5678, -1}};
    const auto kbd = entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006);
    const auto vendorOnKbdNode = entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0xFF01, 0x0001);
    const auto genericNode = entry("/dev/hidraw1", 0x1234, 0x5678, 1, 0x0001, 0x0000);
    const auto vendorNode = entry("/dev/hidraw2", 0x1234, 0x5678, 2, 0xFFA0, 0x0001);

    EXPECT_EQ(chooseCandidate({kbd, vendorOnKbdNode, genericNode, vendorNode}, wanted), 3u);
    EXPECT_EQ(chooseCandidate({kbd, vendorOnKbdNode, genericNode}, wanted), 2u);
    EXPECT_EQ(chooseCandidate({kbd, vendorOnKbdNode}, wanted), 1u);
}

TEST(UsbChooseCandidate, HonoursIdsInterfaceAndListOrder) {
    const std::vector<HidCandidate> list{
        entry("/dev/hidraw3", 0xAAAA, 0x0001, 0, 0xFF00, 0x0001),
        entry("/dev/hidraw4", 0xBBBB, 0x0002, 0, 0xFF00, 0x0001),
        entry("/dev/hidraw5", 0xBBBB, 0x0002, 1, 0xFF00, 0x0001),
    };
    EXPECT_FALSE(chooseCandidate(list, {{0xCCCC, 0x0001, -1}}));
    EXPECT_FALSE(chooseCandidate(list, {}));
    EXPECT_EQ(chooseCandidate(list, {{0xBBBB, 0x0002, -1}, {0xAAAA, 0x0001, -1}}), 1u);
    EXPECT_EQ(chooseCandidate(list, {{0xAAAA, 0x0001, -1}, {0xBBBB, 0x0002, -1}}), 0u);
    EXPECT_EQ(chooseCandidate(list, {{0xBBBB, 0x0002, 1}}), 2u);
    EXPECT_FALSE(chooseCandidate(list, {{0xBBBB, 0x0002, 7}}));
}

TEST(UsbListReaders, OneCommandInterfacePerDevice) {
    const std::vector<DeviceId> wanted{{0x1a86, 0xe010, -1}, {0x1234, 0x5678, -1}};
    // Two readers with a keyboard and a command interface each, a keyboard-only device,
    // and a reader whose two non-keyboard interfaces are both acceptable.
    const std::vector<HidCandidate> list{
        entry("/dev/hidraw0", 0x1234, 0x5678, 0, 0x0001, 0x0006),
        entry("/dev/hidraw1", 0x1234, 0x5678, 1, 0xFF00, 1),
        entry("/dev/hidraw3", 0x1234, 0x5678, 0, 0x0001, 0x0006),
        entry("/dev/hidraw2", 0x1234, 0x5678, 1, 0xFF00, 1),
        entry("/dev/hidraw4", 0x1234, 0x5678, 0, 0x0001, 0x0006),
        entry("/dev/hidraw5", 0x1a86, 0xe010, 0, 0x000C, 1),
        entry("/dev/hidraw6", 0x1a86, 0xe010, 1, 0xFF00, 1),
    };
    const std::vector<std::string> keys{"usb1", "usb1", "usb2", "usb2", "usb3", "usb4", "usb4"};
    // The earlier id in `wanted` first, then by path.
    EXPECT_EQ(listReaders(list, wanted, keys), (std::vector<std::size_t>{6, 1, 3}));
    // Without device keys every node is a device: the consumer-control node counts too.
    EXPECT_EQ(listReaders(list, wanted), (std::vector<std::size_t>{5, 6, 1, 3}));
    EXPECT_TRUE(listReaders({}, wanted).empty());
}

TEST(UsbListReaders, FindsByPathThenSerialAndDescribes) {
    const std::vector<ReaderInfo> readers{{"/dev/hidraw1", 0x04d8, 0x003f, 1, "Maker", "Reader", "A1"},
                                          {"/dev/hidraw2", 0x04d8, 0x003f, 1, "Maker", "Reader", ""},
                                          {"A1", 0x04d8, 0x003f, 1, "", "", "B2"}};
    EXPECT_EQ(findReader(readers, "/dev/hidraw2"), 1u);
    EXPECT_EQ(findReader(readers, "A1"), 2u); // a path match wins over a serial match
    EXPECT_EQ(findReader(readers, "B2"), 2u);
    EXPECT_FALSE(findReader(readers, "")); // an empty serial matches nothing
    EXPECT_FALSE(findReader(readers, "/dev/hidraw"));

    const ReaderInfo odd{"/dev/hidraw7", 0x00ab, 0xF00D, -1, "Line\nbreak", "读卡器", "\t1\r"};
    const std::string text = formatDeviceInfo(odd);
    EXPECT_EQ(text, "path=/dev/hidraw7\nvendor=00ab\nproduct=f00d\ninterface=-1\nmanufacturer=Line break\n"
                    "product_name=读卡器\nserial= 1 \n");
    // C1 controls (here CSI, U+009B) are terminal commands too; other UTF-8 stays.
    const ReaderInfo c1{"/dev/hidraw8",
                        1,
                        2,
                        0,
                        "A\xC2\x9B"
                        "2J\x1B[8m",
                        "\xC2\xA0\xC3\xA9",
                        "\xC2"};
    EXPECT_NE(
        formatDeviceInfo(c1).find("manufacturer=A 2J [8m\nproduct_name=\xC2\xA0\xC3\xA9\nserial=\xC2\n"),
        std::string::npos)
        << formatDeviceInfo(c1);
    char buf[256];
    EXPECT_EQ(copyText(text, buf, static_cast<int>(text.size()) + 1), static_cast<int>(text.size()));
    EXPECT_EQ(text, buf);
    EXPECT_EQ(copyText(text, buf, static_cast<int>(text.size())), -1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(copyText(text, nullptr, 100), -1);
    copyTextTruncated("abcdef", buf, 4);
    EXPECT_STREQ(buf, "abc");
}

TEST(UsbListReaders, FindsTheChosenReaderAgainOnlyWhenItCanBeTold) {
    const std::vector<ReaderInfo> readers{{"/dev/hidraw2", 0x04d8, 0x003f, 1, "", "", "S1"},
                                          {"/dev/hidraw3", 0x04d8, 0x003f, 1, "", "", "DUP"},
                                          {"/dev/hidraw4", 0x04d8, 0x003f, 1, "", "", "DUP"}};
    std::string why;
    auto find = [&](ReaderChoice c) { return findChosenReader(readers, c, &why); };
    EXPECT_EQ(find({"/dev/hidraw3", "DUP", false, true}), 1u); // at its node
    EXPECT_EQ(find({"/dev/hidraw9", "S1", false, false}), 0u); // moved, unique serial
    EXPECT_FALSE(find({"/dev/hidraw9", "S1", false, true}));   // moved, serial seen twice
    EXPECT_FALSE(find({"/dev/hidraw9", "DUP", false, false})); // moved, serial shared now
    EXPECT_NE(why.find("other readers have its serial number DUP"), std::string::npos) << why;
    EXPECT_EQ(find({"/dev/hidraw9", "DUP", true, true}), 1u); // chosen by that serial
    EXPECT_FALSE(find({"/dev/hidraw9", "", false, false}));   // no serial: gone is gone
    EXPECT_EQ(why, "the chosen reader (/dev/hidraw9) is not attached");
    EXPECT_FALSE(find({"/dev/hidraw2", "OTHER", false, false})); // its node taken by another reader
    EXPECT_EQ(find({"/dev/hidraw2", "", false, false}), 0u);     // no serial to tell: the node decides
    EXPECT_EQ(countSerial(readers, "DUP"), 2u);
    EXPECT_EQ(countSerial(readers, ""), 0u);
}

TEST(UsbErrors, ClassifiesOpenFailures) {
    EXPECT_EQ(classifyOpenError(EACCES), ErrorKind::Permission);
    EXPECT_EQ(classifyOpenError(EPERM), ErrorKind::Permission);
    EXPECT_EQ(classifyOpenError(EBUSY), ErrorKind::Busy);
    EXPECT_EQ(classifyOpenError(ENOENT), ErrorKind::NoReader);
    EXPECT_EQ(classifyOpenError(ENODEV), ErrorKind::NoReader);
    EXPECT_EQ(classifyOpenError(EIO), ErrorKind::Io);
}

TEST(UsbSplitIntoReports, PadsAndSplitsOnPayloadBoundaries) {
    const Bytes small = makeFrame(0x00, 0x25, {});
    auto reports = splitIntoReports(small.data(), small.size(), 64);
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].size(), 65u);
    EXPECT_EQ(reports[0][0], 0x00);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), reports[0].begin() + 1));
    EXPECT_TRUE(
        std::all_of(reports[0].begin() + 1 + small.size(), reports[0].end(), [](auto b) { return b == 0; }));

    Bytes exact(64);
    for (std::size_t i = 0; i < exact.size(); ++i)
        exact[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(splitIntoReports(exact.data(), exact.size(), 64).size(), 1u);

    // The largest frame the program sends: 255 bytes over four 64-byte reports.
    Bytes big(255);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    reports = splitIntoReports(big.data(), big.size(), 64);
    ASSERT_EQ(reports.size(), 4u);
    Bytes joined;
    for (const auto& r : reports) {
        ASSERT_EQ(r.size(), 65u);
        EXPECT_EQ(r[0], 0x00);
        joined.insert(joined.end(), r.begin() + 1, r.end());
    }
    ASSERT_EQ(joined.size(), 256u);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), joined.begin()));
    EXPECT_EQ(joined.back(), 0x00);

    EXPECT_TRUE(splitIntoReports(big.data(), 0, 64).empty());
}

TEST(UsbAnswerAssembler, TakesOneAnswerFromAPaddedReport) {
    const Bytes answer = makeFrame(0x00, 0x00, {0x12, 0x34, 0x56, 0x78});
    Bytes report(64, 0);
    std::copy(answer.begin(), answer.end(), report.begin());

    AnswerAssembler a;
    EXPECT_TRUE(a.feed(report.data(), report.size()));
    EXPECT_EQ(a.bytes(), answer);

    // Bytes after a complete answer are never appended.
    EXPECT_TRUE(a.feed(answer.data(), answer.size()));
    EXPECT_EQ(a.bytes(), answer);
}

TEST(UsbAnswerAssembler, SkipsLeadingNoiseAndJoinsReports) {
    Bytes data(70);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0xAA - i); // contains 0xAA at its first byte
    const Bytes answer = makeFrame(0x01, 0x00, data);
    ASSERT_EQ(answer.size(), 76u);

    AnswerAssembler a;
    const Bytes noise{0x00, 0x00, 0x13, 0xBB};
    EXPECT_FALSE(a.feed(noise.data(), noise.size()));
    EXPECT_TRUE(a.bytes().empty());
    // Split right before the length byte, then again mid-data.
    EXPECT_FALSE(a.feed(answer.data(), 2));
    EXPECT_EQ(a.expectedSize(), 0u);
    EXPECT_FALSE(a.feed(nullptr, 0));
    EXPECT_FALSE(a.feed(answer.data() + 2, 40));
    EXPECT_EQ(a.expectedSize(), 76u);
    Bytes tail(answer.begin() + 42, answer.end());
    tail.resize(64, 0);
    EXPECT_TRUE(a.feed(tail.data(), tail.size()));
    EXPECT_EQ(a.bytes(), answer);
}

TEST(UsbAnswerAssembler, DropsFramesWhoseEndMarkerIsMissing) {
    const Bytes answer = makeFrame(0x00, 0x00, {0x56, 0x31});
    // A stray 0xAA whose "length" ends on a byte that is not 0xBB, then the answer,
    // then what followed it in the report.
    Bytes report{0xAA, 0x02, 0x01, 0x00, 0x00, 0x00};
    report.insert(report.end(), answer.begin(), answer.end());
    report.insert(report.end(), {0x00, 0xBB, 0x00});
    AnswerAssembler a;
    EXPECT_TRUE(a.feed(report.data(), report.size()));
    EXPECT_EQ(a.bytes(), answer);

    // A length byte that claims more than came, with the answer inside the claimed
    // span: found once the claim runs out without its end marker.
    a.reset();
    Bytes lying{0xAA, 0x00, 0x0F, 0x00};
    lying.insert(lying.end(), answer.begin(), answer.end());
    EXPECT_FALSE(a.feed(lying.data(), lying.size()));
    const Bytes padding(16, 0x00);
    EXPECT_TRUE(a.feed(padding.data(), padding.size()));
    EXPECT_EQ(a.bytes(), answer);

    // Endless padding after a lying length byte is no answer at all.
    a.reset();
    const Bytes header{0xAA, 0x00, 0xF0, 0x00};
    EXPECT_FALSE(a.feed(header.data(), header.size()));
    for (int i = 0; i < 20; ++i) // past the 245 bytes the length byte claims
        EXPECT_FALSE(a.feed(padding.data(), padding.size()));
    EXPECT_TRUE(a.bytes().empty());
}

TEST(UsbAnswerAssembler, CopiesAtMostCapacity) {
    const Bytes answer = makeFrame(0x00, 0x00, Bytes(250, 0x11));
    ASSERT_EQ(answer.size(), 256u);
    AnswerAssembler a;
    ASSERT_TRUE(a.feed(answer.data(), answer.size()));

    Bytes out(257, 0);
    EXPECT_EQ(a.copyTo(out.data(), 245), 245u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 245, answer.begin()));
    EXPECT_EQ(out[245], 0x00);

    // An empty-data answer is five bytes.
    a.reset();
    const Bytes shortest{0xAA, 0x00, 0x00, 0x00, 0xBB};
    EXPECT_TRUE(a.feed(shortest.data(), shortest.size()));
    EXPECT_EQ(a.copyTo(out.data(), out.size()), 5u);
}

TEST(UsbSettings, ParsesIntegersWithinRange) {
    EXPECT_EQ(parseIntSetting(nullptr, 500, 0, 1000), 500);
    EXPECT_EQ(parseIntSetting("", 500, 0, 1000), 500);
    EXPECT_EQ(parseIntSetting("250", 500, 0, 1000), 250);
    EXPECT_EQ(parseIntSetting("0", 500, 0, 1000), 0);
    EXPECT_EQ(parseIntSetting("1001", 500, 0, 1000), 500);
    EXPECT_EQ(parseIntSetting("-1", 500, 0, 1000), 500);
    EXPECT_EQ(parseIntSetting("12ms", 500, 0, 1000), 500);
    EXPECT_EQ(parseIntSetting("99999999999999999999", 500, 0, 1000), 500);
}

namespace {

// Names of the symbols the shared library defines in its dynamic symbol table.
std::set<std::string> exportedSymbols(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr) || file.compare(0, SELFMAG, ELFMAG) != 0 ||
        file[EI_CLASS] != ELFCLASS64)
        return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    auto section = [&](std::size_t i) {
        Elf64_Shdr sh{};
        const std::size_t at = eh.e_shoff + i * eh.e_shentsize;
        if (at + sizeof sh <= file.size())
            std::memcpy(&sh, file.data() + at, sizeof sh);
        return sh;
    };
    for (std::size_t i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr sh = section(i);
        if (sh.sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr strtab = section(sh.sh_link);
        for (std::size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size;
             off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, file.data() + off, sizeof sym);
            const int bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK))
                continue;
            names.insert(file.c_str() + strtab.sh_offset + sym.st_name);
        }
    }
    return names;
}

} // namespace

TEST(UsbLibrary, ExportsExactlyTheEntryPoints) {
    EXPECT_EQ(exportedSymbols(RFIDUSB_LIBRARY_PATH),
              (std::set<std::string>{"hidReadData", "hidWriteData", "hidEnumerate", "hidDeviceInfo",
                                     "hidSelectDevice", "hidLastError", "hidMonitorFd", "hidMonitorDrain",
                                     "hidLockPath"}));
}

TEST(UsbLibrary, FailsCleanlyWithoutAReader) {
    // An id no real device carries, so the result does not depend on what is plugged in.
    ::setenv("RFIDUSB_DEVICE", "fffe:fffd", 1);
    ::setenv("RFIDUSB_TIMEOUT_MS", "100", 1);

    void* lib = dlopen(RFIDUSB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    using WriteFn = int (*)(int, int, const unsigned char*);
    using ReadFn = int (*)(int, int, unsigned char*);
    auto write = reinterpret_cast<WriteFn>(dlsym(lib, "hidWriteData"));
    auto read = reinterpret_cast<ReadFn>(dlsym(lib, "hidReadData"));
    ASSERT_NE(write, nullptr);
    ASSERT_NE(read, nullptr);

    const Bytes frame = makeFrame(0x00, 0x25, {});
    unsigned char buffer[257] = {};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i) { // the second round goes through enumeration again
        EXPECT_EQ(write(0, static_cast<int>(frame.size()), frame.data()), -1);
        EXPECT_LE(read(0, 245, buffer), 0);
    }
    EXPECT_EQ(write(0, 0, frame.data()), -1);
    EXPECT_EQ(write(0, 5, nullptr), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](unsigned char b) { return b == 0; }));

    // The optional entry points say the same.
    auto enumerate = reinterpret_cast<int (*)()>(dlsym(lib, "hidEnumerate"));
    auto info = reinterpret_cast<int (*)(int, char*, int)>(dlsym(lib, "hidDeviceInfo"));
    auto select = reinterpret_cast<int (*)(const char*)>(dlsym(lib, "hidSelectDevice"));
    auto lastError = reinterpret_cast<int (*)(char*, int)>(dlsym(lib, "hidLastError"));
    ASSERT_TRUE(enumerate && info && select && lastError);
    EXPECT_EQ(write(0, static_cast<int>(frame.size()), frame.data()), -1);
    char text[200] = "x";
    EXPECT_EQ(lastError(text, sizeof text), 1); // no reader
    EXPECT_NE(std::string(text).find("no reader"), std::string::npos) << text;
    EXPECT_EQ(enumerate(), 0);
    EXPECT_LT(info(0, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_LT(select("/dev/hidraw99"), 0);
    EXPECT_EQ(select(""), 0);
    EXPECT_EQ(select(nullptr), 0);
    // No reader: nothing to lock, and the buffer says so.
    auto lockPath = reinterpret_cast<int (*)(char*, int)>(dlsym(lib, "hidLockPath"));
    ASSERT_NE(lockPath, nullptr);
    std::strcpy(text, "x");
    EXPECT_EQ(lockPath(text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(lockPath(nullptr, 0), 0);

    dlclose(lib);
    ::unsetenv("RFIDUSB_DEVICE");
    ::unsetenv("RFIDUSB_TIMEOUT_MS");
}
