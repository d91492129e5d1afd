// Parse and write throughput of our XML library, pugixml and libxml2's DOM on
// one backup-shaped document (Machine / SubDir / Property / Item elements with
// attributes, readable layout, UTF-8 without mark, some non-ASCII values): parse
// with and without freeing the tree, the heap a parsed tree holds, writes into
// memory and saves to a file with fsync; and the resolution of many entity
// references beside libxml2's.

#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlStreams.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace orvex;

// Deterministic, so every run measures the same bytes.
class TRandom {
public:
    uint32_t Next() {
        FState ^= FState << 13;
        FState ^= FState >> 17;
        FState ^= FState << 5;
        return FState;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint32_t FState = 2463534242u;
};

const char* const kTypes[] = {"STRING", "INTEGER", "BOOLEAN", "EXPANDSZ", "BINARY", "LIST"};
const char* const kIds[] = {"AccessFlags", "AuthFlags", "DefaultDoc", "Path", "ServerComment",
                            "ServerBindings", "HttpErrors", "ScriptMaps", "AppPoolId",
                            "LogFileDirectory", "MimeMap", "ConnectionTimeout"};

void AppendProperty(std::string& out, TRandom& random, const std::string& indent, int serial) {
    const char* type = kTypes[random.Below(6)];
    out += indent + "<Property id=\"" + kIds[random.Below(12)] + "\" type=\"" + type + "\" value=\"";
    if (std::string(type) == "LIST") {
        out += "\" Inherit=\"False\">\r\n";
        const int items = 1 + static_cast<int>(random.Below(6));
        for (int i = 0; i < items; ++i)
            out += indent + "  <Item value=\".ext" + std::to_string(i) +
                   ",C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE\"/>\r\n";
        out += indent + "</Property>\r\n";
        return;
    }
    if (serial % 97 == 0)
        out += "Gr\xC3\xBC\xC3\x9F" "e M\xC3\xBCnchen &amp; K\xC3\xB6ln";
    else
        out += "C:\\Inetpub\\wwwroot\\site" + std::to_string(serial) + "\\default.htm";
    out += "\" Inherit=\"";
    out += random.Below(4) == 0 ? "True" : "False";
    out += "\"/>\r\n";
}

void AppendSubDir(std::string& out, TRandom& random, int depth, int& serial) {
    const std::string indent(2 * static_cast<size_t>(depth), ' ');
    out += indent + "<SubDir path=\"" + std::to_string(serial) + "\" className=\"IIsWebVirtualDir\">\r\n";
    const int properties = 4 + static_cast<int>(random.Below(12));
    for (int i = 0; i < properties; ++i)
        AppendProperty(out, random, indent + "  ", ++serial);
    if (depth < 7) {
        const int children = static_cast<int>(random.Below(depth < 4 ? 5 : 3));
        for (int i = 0; i < children; ++i)
            AppendSubDir(out, random, depth + 1, serial);
    }
    out += indent + "</SubDir>\r\n";
}

const std::string& BackupDocument() {
    static const std::string text = [] {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root>\r\n  <Machines>\r\n";
        TRandom random;
        int serial = 0;
        for (int machine = 0; out.size() < 15u * 1024 * 1024; ++machine) {
            out += "    <Machine backupName=\"Backup" + std::to_string(machine) +
                   "\" machineName=\"WEB" + std::to_string(machine) +
                   "\" path=\"w3svc\" className=\"IIsWebService\">\r\n";
            for (int site = 0; site < 20; ++site)
                AppendSubDir(out, random, 3, serial);
            out += "    </Machine>\r\n";
        }
        out += "  </Machines>\r\n</Root>\r\n";
        return out;
    }();
    return text;
}

void SetThroughput(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// A tree of each library, parsed from the document in memory (given as a stream
// to ours, which loads from streams).
std::unique_ptr<TUtf8XmlDocument> ParsedByOrvex(TxmUTF8StringStream& stream) {
    auto doc = std::make_unique<TUtf8XmlDocument>();
    stream.SetPosition(0);
    doc->LoadFromStream(stream);
    return doc;
}

std::unique_ptr<pugi::xml_document> ParsedByPugixml() {
    auto doc = std::make_unique<pugi::xml_document>();
    if (!doc->load_buffer(BackupDocument().data(), BackupDocument().size()))
        doc.reset();
    return doc;
}

std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> ParsedByLibxml2() {
    return {xmlReadMemory(BackupDocument().data(), static_cast<int>(BackupDocument().size()), nullptr,
                          nullptr, XML_PARSE_NONET | XML_PARSE_HUGE),
            xmlFreeDoc};
}

// The document as a file (in the page cache after the first read): LoadFromFile
// reads it through the codec a block at a time, pugixml's load_file whole.
const std::string& DocumentFile() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("orvex_bench_" + std::to_string(::getpid()) + "_parse.xml"))
                                     .string();
        FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(BackupDocument().data(), 1, BackupDocument().size(), out);
        std::fclose(out);
        return file;
    }();
    return path;
}

// ---- Parse, the tree freed inside the timing or outside it --------------------

template <class TParse>
void ParseLoop(benchmark::State& state, bool timeTheFree, TParse parse) {
    for (auto _ : state) {
        auto tree = parse();
        if (!tree)
            state.SkipWithError("the parse failed");
        benchmark::DoNotOptimize(tree.get());
        if (!timeTheFree)
            state.PauseTiming();
        tree.reset();
        if (!timeTheFree)
            state.ResumeTiming();
    }
    SetThroughput(state, BackupDocument().size());
}

void ParseOrvex(benchmark::State& state, bool timeTheFree) {
    TxmUTF8StringStream stream(BackupDocument());
    ParseLoop(state, timeTheFree, [&stream] { return ParsedByOrvex(stream); });
}

void ParseFreeOrvex(benchmark::State& state) { ParseOrvex(state, true); }
void ParseOnlyOrvex(benchmark::State& state) { ParseOrvex(state, false); }
void ParseFreePugixml(benchmark::State& state) { ParseLoop(state, true, ParsedByPugixml); }
void ParseOnlyPugixml(benchmark::State& state) { ParseLoop(state, false, ParsedByPugixml); }
void ParseFreeLibxml2(benchmark::State& state) { ParseLoop(state, true, ParsedByLibxml2); }
void ParseOnlyLibxml2(benchmark::State& state) { ParseLoop(state, false, ParsedByLibxml2); }

void ParseFreeOrvexFile(benchmark::State& state) {
    const std::u16string path(DocumentFile().begin(), DocumentFile().end());
    ParseLoop(state, true, [&path] {
        auto doc = std::make_unique<TUtf8XmlDocument>();
        doc->LoadFromFile(path);
        return doc;
    });
}

void ParseFreePugixmlFile(benchmark::State& state) {
    ParseLoop(state, true, [] {
        auto doc = std::make_unique<pugi::xml_document>();
        if (!doc->load_file(DocumentFile().c_str()))
            doc.reset();
        return doc;
    });
}

// ---- Memory held by a parsed tree, per byte of the document ----------------------
// heap_per_byte: the heap in use after the parse less before it (mallinfo2).
// rss_per_byte: the resident memory that a fresh process (this program run with
// --rss-probe=NAME) gains by the parse, which also counts what the parse used on
// the way and what the allocator keeps.

size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<int64_t>(resident) * ::sysconf(_SC_PAGESIZE);
}

// Runs this program again to probe one parse in a fresh process.
double ResidentPerByteInFreshProcess(const char* name) {
    const std::string command =
        std::filesystem::read_symlink("/proc/self/exe").string() + " --rss-probe=" + name;
    double perByte = 0;
    if (FILE* probe = ::popen(command.c_str(), "r")) {
        if (std::fscanf(probe, "%lf", &perByte) != 1)
            perByte = 0;
        ::pclose(probe);
    }
    return perByte;
}

template <class TParse>
void HeapPerByte(benchmark::State& state, const char* name, TParse parse) {
    double perByte = 0;
    const size_t size = BackupDocument().size();
    for (auto _ : state) {
        const size_t before = HeapInUse();
        auto tree = parse();
        perByte = static_cast<double>(HeapInUse() - before) / static_cast<double>(size);
        benchmark::DoNotOptimize(tree.get());
    }
    state.counters["heap_per_byte"] = perByte;
    state.counters["rss_per_byte"] = ResidentPerByteInFreshProcess(name);
}

void HeapOrvex(benchmark::State& state) {
    TxmUTF8StringStream stream(BackupDocument());
    HeapPerByte(state, "orvex", [&stream] { return ParsedByOrvex(stream); });
}

void HeapPugixml(benchmark::State& state) { HeapPerByte(state, "pugixml", ParsedByPugixml); }

void HeapLibxml2(benchmark::State& state) { HeapPerByte(state, "libxml2", ParsedByLibxml2); }

// The resident memory one parse adds, per byte of the document, printed.
int ProbeResidentMemory(std::string_view name) {
    TxmUTF8StringStream stream(BackupDocument());
    const int64_t before = ResidentBytes();
    int64_t after = 0;
    if (name == "orvex") {
        auto tree = ParsedByOrvex(stream);
        after = ResidentBytes();
    } else if (name == "pugixml") {
        auto tree = ParsedByPugixml();
        after = ResidentBytes();
    } else {
        auto tree = ParsedByLibxml2();
        after = ResidentBytes();
    }
    std::printf("%.3f\n", static_cast<double>(after - before) / static_cast<double>(BackupDocument().size()));
    return 0;
}

// ---- Save to a file, on disk (fsync) before the timing ends ---------------------

std::string SavePath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("orvex_bench_") + std::to_string(::getpid()) + name))
        .string();
}

void SaveOrvex(benchmark::State& state) {
    TUtf8XmlDocument doc;
    doc.ReadFromString(BackupDocument());
    doc.SetXmlFormat(xfReadable);
    const std::string path = SavePath("_orvex.xml");
    const std::u16string path16(path.begin(), path.end());
    for (auto _ : state)
        doc.SaveToFile(path16); // a temporary file, fsync, rename over the old one
    SetThroughput(state, static_cast<size_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}

void SavePugixml(benchmark::State& state) {
    pugi::xml_document doc;
    doc.load_buffer(BackupDocument().data(), BackupDocument().size());
    const std::string path = SavePath("_pugixml.xml");
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "wb");
        pugi::xml_writer_file writer(file);
        doc.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
        std::fflush(file);
        ::fsync(::fileno(file));
        std::fclose(file);
    }
    SetThroughput(state, static_cast<size_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}

// ---- Write (the whole tree into memory) --------------------------------------

void WriteOrvex(benchmark::State& state, TXmlFormatType format) {
    TUtf8XmlDocument doc;
    doc.ReadFromString(BackupDocument());
    doc.SetXmlFormat(format);
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string out = doc.WriteToString();
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    SetThroughput(state, bytes);
}
void WriteOrvexReadable(benchmark::State& state) { WriteOrvex(state, xfReadable); }
void WriteOrvexCompact(benchmark::State& state) { WriteOrvex(state, xfCompact); }

struct TStringWriter : pugi::xml_writer {
    std::string Out;
    void write(const void* data, size_t size) override {
        Out.append(static_cast<const char*>(data), size);
    }
};

void WritePugixml(benchmark::State& state, unsigned flags) {
    pugi::xml_document doc;
    doc.load_buffer(BackupDocument().data(), BackupDocument().size());
    size_t bytes = 0;
    for (auto _ : state) {
        TStringWriter writer;
        doc.save(writer, "  ", flags, pugi::encoding_utf8);
        bytes = writer.Out.size();
        benchmark::DoNotOptimize(writer.Out.data());
    }
    SetThroughput(state, bytes);
}
void WritePugixmlReadable(benchmark::State& state) { WritePugixml(state, pugi::format_indent); }
void WritePugixmlCompact(benchmark::State& state) { WritePugixml(state, pugi::format_raw); }

void WriteLibxml2(benchmark::State& state, int format) {
    xmlKeepBlanksDefault(0);
    xmlDocPtr doc = xmlReadMemory(BackupDocument().data(), static_cast<int>(BackupDocument().size()),
                                  nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOBLANKS);
    size_t bytes = 0;
    for (auto _ : state) {
        xmlChar* out = nullptr;
        int size = 0;
        xmlDocDumpFormatMemory(doc, &out, &size, format);
        bytes = static_cast<size_t>(size);
        benchmark::DoNotOptimize(out);
        xmlFree(out);
    }
    xmlFreeDoc(doc);
    SetThroughput(state, bytes);
}
void WriteLibxml2Readable(benchmark::State& state) { WriteLibxml2(state, 1); }
void WriteLibxml2Compact(benchmark::State& state) { WriteLibxml2(state, 0); }

// ---- Entity resolution -----------------------------------------------------
// A root element whose character data, after a child, refers n times to an
// entity holding markup; refused, it ends with a reference to an entity inside
// itself. Ours parses and resolves (or refuses) and frees the tree; the peer is
// libxml2 parsing the resolvable text with the references substituted.

std::string ManyReferences(int64_t n, bool refused) {
    std::string text =
        "<!DOCTYPE r [<!ENTITY e \"<x>1</x>\"><!ENTITY loop \"<a>&loop;</a>\">]><r><first/>";
    for (int64_t i = 0; i < n; ++i)
        text += "&e;";
    return text + (refused ? "&loop;</r>" : "</r>");
}

void ResolveOrvex(benchmark::State& state, bool refused) {
    const std::string text = ManyReferences(state.range(0), refused);
    for (auto _ : state) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(text);
        try {
            doc.ResolveEntityReferences();
            if (refused)
                state.SkipWithError("resolved what should be refused");
        } catch (const EXmlError&) {
            if (!refused)
                state.SkipWithError("refused what should resolve");
        }
    }
    SetThroughput(state, text.size());
}

void ResolveOrvex(benchmark::State& state) { ResolveOrvex(state, false); }
void RefuseOrvex(benchmark::State& state) { ResolveOrvex(state, true); }

void ResolveLibxml2(benchmark::State& state) {
    const std::string text = ManyReferences(state.range(0), false);
    for (auto _ : state) {
        std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
            xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_HUGE),
            xmlFreeDoc);
        if (!doc)
            state.SkipWithError("the parse failed");
    }
    SetThroughput(state, text.size());
}

// The machine is shared: the fastest repetition is the figure least disturbed
// by other work.
double Fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

BENCHMARK(ParseFreeOrvex)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseFreePugixml)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseFreeLibxml2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseFreeOrvexFile)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseFreePugixmlFile)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(HeapOrvex)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(HeapPugixml)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(HeapLibxml2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveOrvex)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(SavePugixml)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseOnlyOrvex)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseOnlyPugixml)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ParseOnlyLibxml2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WriteOrvexReadable)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WriteOrvexCompact)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WritePugixmlReadable)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WritePugixmlCompact)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WriteLibxml2Readable)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(WriteLibxml2Compact)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(ResolveOrvex)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(RefuseOrvex)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(ResolveLibxml2)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);

} // namespace

int main(int argc, char** argv) {
    constexpr std::string_view kProbe = "--rss-probe=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kProbe))
        return ProbeResidentMemory(std::string_view(argv[1]).substr(kProbe.size()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(DocumentFile());
    return 0;
}
