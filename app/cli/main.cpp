// orvo: runs the suite's filters on image files through the plug-in protocol, as an image editor
// would. See `orvo --help`.
#include "app/cli/Catalogue.h"
#include "app/cli/Chart.h"
#include "app/cli/ParameterTable.h"
#include "app/core/HostSession.h"
#include "app/core/Module.h"
#include "app/io/ImageFile.h"
#include "framework/AtomicFile.h"
#include "framework/ParameterBlob.h"
#include "platform/Suites.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace orvo;
using namespace orvo::cli;

// Exit codes.
enum Exit {
    kOk = 0,
    kFilterFailed = 1,  // the filter reported an error
    kUsage = 2,         // bad command line: unknown command, option, filter, key or value
    kInputError = 3,    // an input file (image or preset) is missing, unreadable or corrupt
    kOutputError = 4,   // the output (image or preset) cannot be written
    kNoModule = 5,      // no module found, or the filter's module cannot be loaded or described
    kInterrupted = 130, // Ctrl-C: the filter was asked to stop; nothing was written
};

const char* const kUsageText = R"(usage:
  orvo list [--tsv]
  orvo describe FILTER
  orvo apply FILTER IN OUT [--set KEY=VALUE]... [--preset FILE] [--last] [--save-preset FILE]
             [--depth 8|16] [--tile-height N] [--transport suites|advance-state]
             [--registry DIR] [--png-level 0..9] [--quiet]
  orvo chart OUT [--size WxH] [--depth 8|16]
  orvo --help

list shows category, menu name, name (the entry point's suffix) and module of every filter, read
from the modules' resources; --tsv gives tab-separated lines without a heading.
FILTER is a menu name without "..." ("Orvo Fast Blur"), a registration name ("FastBlur") or the
entry point's suffix, in any case. Images: PNG (8/16-bit, grey or RGB, with or without alpha),
JPEG (8-bit) and TIFF (8/16-bit) in; the output format follows OUT's extension (.png, .jpg,
.jpeg, .tif, .tiff) at the document's depth. A grey input becomes RGB; an input's alpha is
written back unchanged (JPEG output has none).

apply runs the selectors Parameters, Prepare, Start, Continue and Finish. The values travel as a
recorded action ('parM' parameter blob, played without the dialog): the filter's defaults, or a
preset file (--preset), or the last-used values of the registry (--last), then each --set in
order, applied by the module exactly as its dialog would apply the edit. Values: Range a number in
range; Boolean on/off/true/false/1/0; List an index or an item label; Color r,g,b (0..1) or
#rrggbb; Point x,y centred on the image (-0.5..0.5). --save-preset writes the values of the run.
The output is written atomically; OUT may be IN. Ctrl-C stops the filter and writes nothing.
--depth sets the document depth (default: the input's); --png-level 0..9 trades speed for size
(default 1). The registry of last-used values is in --registry DIR, else $XDG_CONFIG_HOME/orvo,
else ~/.config/orvo.

Modules are searched in --plugins DIR, then in $ORVO_PLUGIN_PATH (':'-separated), then in the
"plugins" folder beside this program.

exit codes: 0 success; 1 the filter failed; 2 bad command line (unknown filter, key or value);
3 unreadable or corrupt input or preset; 4 output cannot be written; 5 no usable module;
130 interrupted (Ctrl-C).
)";

std::atomic<bool> gInterrupted{false};
void onInterrupt(int) { gInterrupted = true; }

struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void fail(int code, std::string message) { throw Failure{code, std::move(message)}; }

struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string preset, savePreset, registry, plugins, transport = "suites", size;
    bool last = false, quiet = false, tsv = false;
    int depth = 0, tileHeight = 0, pngLevel = 1;
};

int parseInt(const std::string& option, const std::string& text, int lo, int hi)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < lo || v > hi)
        fail(kUsage, option + " takes a whole number " + std::to_string(lo) + ".." + std::to_string(hi) + ", not \"" +
                         text + "\"");
    return static_cast<int>(v);
}

Args parseArgs(int argc, char** argv, int first)
{
    Args a;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail(kUsage, arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--set") {
            const std::string kv = value();
            const size_t eq = kv.find('=');
            if (eq == std::string::npos || eq == 0)
                fail(kUsage, "--set takes KEY=VALUE, not \"" + kv + "\"");
            a.sets.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else if (arg == "--preset")
            a.preset = value();
        else if (arg == "--save-preset")
            a.savePreset = value();
        else if (arg == "--registry")
            a.registry = value();
        else if (arg == "--plugins")
            a.plugins = value();
        else if (arg == "--transport") {
            a.transport = value();
            if (a.transport != "suites" && a.transport != "advance-state")
                fail(kUsage, "--transport takes suites or advance-state, not \"" + a.transport + "\"");
        } else if (arg == "--size")
            a.size = value();
        else if (arg == "--depth") {
            a.depth = parseInt(arg, value(), 8, 16);
            if (a.depth != 8 && a.depth != 16)
                fail(kUsage, "--depth takes 8 or 16");
        } else if (arg == "--tile-height")
            a.tileHeight = parseInt(arg, value(), 1, 32767);
        else if (arg == "--png-level")
            a.pngLevel = parseInt(arg, value(), 0, 9);
        else if (arg == "--last")
            a.last = true;
        else if (arg == "--tsv")
            a.tsv = true;
        else if (arg == "--quiet" || arg == "-q")
            a.quiet = true;
        else if (arg.size() > 1 && arg[0] == '-')
            fail(kUsage, "unknown option " + arg + " (orvo --help lists them)");
        else
            a.positional.push_back(arg);
    }
    return a;
}

Catalogue openCatalogue(const Args& a, bool quiet)
{
    Catalogue c(Catalogue::searchFolders(a.plugins));
    if (!quiet)
        for (const std::string& p : c.problems())
            std::fprintf(stderr, "orvo: warning: %s\n", p.c_str());
    return c;
}

const CatalogueFilter& resolveFilter(Catalogue& c, const std::string& name)
{
    try {
        return c.resolve(name);
    } catch (const CatalogueError& e) {
        fail(c.filters().empty() ? kNoModule : kUsage, e.what());
    }
}

FilterTable describeFilter(Catalogue& c, const CatalogueFilter& f)
{
    try {
        return c.describe(f);
    } catch (const std::exception& e) {
        fail(kNoModule, e.what());
    }
}

// ---- list ----

int commandList(const Args& a)
{
    Catalogue c = openCatalogue(a, false);
    if (c.filters().empty())
        fail(kNoModule, "no plug-in modules found; use --plugins DIR or ORVO_PLUGIN_PATH");
    const char* format = a.tsv ? "%s\t%s\t%s\t%s\n" : "%-20s %-36s %-22s %s\n";
    if (!a.tsv)
        std::printf(format, "CATEGORY", "MENU NAME", "NAME", "MODULE");
    for (const CatalogueFilter& f : c.filters())
        std::printf(format, f.category.c_str(), f.plainMenuName().c_str(), f.suffix().c_str(),
                    f.module.filename().c_str());
    if (!a.tsv)
        std::printf("%zu filters\n", c.filters().size());
    return kOk;
}

// ---- describe ----

std::string defaultText(const ParamInfo& p)
{
    if (p.kind == "Range")
        return formatNumber(p.defaultNumber);
    if (p.kind == "Boolean")
        return p.defaultBool ? "on" : "off";
    if (p.kind == "List")
        return p.defaultIndex >= 0 && static_cast<size_t>(p.defaultIndex) < p.items.size()
                   ? std::to_string(p.defaultIndex) + " \"" + p.items[static_cast<size_t>(p.defaultIndex)] + "\""
                   : std::to_string(p.defaultIndex);
    std::string s;
    for (double v : p.defaultVector)
        {
        if (!s.empty())
            s += ',';
        s += formatNumber(v);
    }
    return s.empty() ? "-" : s;
}

int commandDescribe(const Args& a)
{
    if (a.positional.size() != 1)
        fail(kUsage, "usage: orvo describe FILTER");
    Catalogue c = openCatalogue(a, false);
    const CatalogueFilter& f = resolveFilter(c, a.positional[0]);
    const FilterTable t = describeFilter(c, f);
    std::printf("%s (registration name %s, entry point %s, module %s)\n", t.title.c_str(), t.registrationName.c_str(),
                f.entryName.c_str(), f.module.filename().c_str());
    int depth = 0;
    for (const ParamInfo& p : t.params) {
        const std::string indent(static_cast<size_t>(2 + 2 * depth), ' ');
        if (p.kind == "GroupBegin") {
            std::printf("%s[%s]%s%s\n", indent.c_str(), p.label.c_str(), p.hidden ? " (hidden)" : "",
                        p.enabled ? "" : " (disabled)");
            ++depth;
            continue;
        }
        if (p.kind == "GroupEnd") {
            depth = std::max(0, depth - 1);
            continue;
        }
        if (!p.settable())
            continue;
        std::string notes;
        if (p.hidden)
            notes += " hidden";
        if (!p.enabled)
            notes += " disabled";
        std::string range;
        if (p.kind == "Range")
            range = formatNumber(p.minimum) + ".." + formatNumber(p.maximum) +
                    (p.integer ? " whole" : ", " + std::to_string(p.decimals) + " decimals");
        std::printf("%s%-22s %-24s %-8s %-24s default %s%s\n", indent.c_str(), p.key.c_str(),
                    ("\"" + p.label + "\"").c_str(), p.kind.c_str(), range.c_str(), defaultText(p).c_str(),
                    notes.empty() ? "" : ("  (" + notes.substr(1) + ")").c_str());
        if (p.kind == "List")
            for (size_t i = 0; i < p.items.size(); ++i)
                std::printf("%s    %zu \"%s\"\n", indent.c_str(), i, p.items[i].c_str());
    }
    return kOk;
}

// ---- apply ----

std::vector<uint8_t> readPresetFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail(kInputError, path + ": cannot open the preset: " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        fail(kInputError, path + ": cannot read the preset");
    if (bytes.size() < fx::blob::HeaderSize || fx::blobVersion(bytes.data(), bytes.size()) != fx::blob::Version)
        fail(kInputError, path + ": not a preset file");
    return bytes;
}

std::string resultMessage(const RunResult& r)
{
    switch (r.result) {
    case kFpErrorStringErr: return r.message.empty() ? "the filter failed without a message" : r.message;
    case kFpMemFullErr: return "out of memory (result -108)";
    case kFpUserCanceledErr: return "cancelled (result -128)";
    case kFpHostCallFailedErr: return "a host suite or call the filter needs failed (result -30900)";
    case kFpBadParametersErr: return "the filter passed bad arguments to the host (result -30100)";
    default: return "the filter failed with result " + std::to_string(r.result);
    }
}

class Progress {
public:
    explicit Progress(bool show) : show_(show) {}
    ~Progress() { finish(); }
    void update(int32_t done, int32_t total)
    {
        if (!show_ || total <= 0)
            return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<int64_t>(done) * width / total);
        if (filled == last_)
            return;
        last_ = filled;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(width - filled), ' ').c_str(),
                     static_cast<int>(static_cast<int64_t>(done) * 100 / total));
        std::fflush(stderr);
        drawn_ = true;
    }
    void finish()
    {
        if (drawn_)
            std::fprintf(stderr, "\r%*s\r", 48, "");
        drawn_ = false;
    }

private:
    bool show_;
    bool drawn_ = false;
    int last_ = -1;
};

bool folderWritable(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

int commandApply(const Args& a)
{
    if (a.positional.size() != 3)
        fail(kUsage, "usage: orvo apply FILTER IN OUT [options] (orvo --help)");
    if (a.last && !a.preset.empty())
        fail(kUsage, "--preset and --last both choose the starting values; give one");
    const std::string& in = a.positional[1];
    const std::string& out = a.positional[2];
    if (!formatForPath(out))
        fail(kUsage, out + ": unknown output format (use .png, .jpg, .jpeg, .tif or .tiff)");
    if (!folderWritable(out))
        fail(kOutputError, out + ": cannot write into its folder: " + std::strerror(errno));

    Catalogue c = openCatalogue(a, a.quiet);
    const CatalogueFilter& f = resolveFilter(c, a.positional[0]);
    const FilterTable table = describeFilter(c, f);

    // The starting values: defaults, a preset file or the registry's last-used values.
    std::vector<uint8_t> start;
    std::string startName = "the defaults";
    if (!a.preset.empty()) {
        start = readPresetFile(a.preset);
        startName = "preset " + a.preset;
    }
    const std::filesystem::path registryFolder =
        a.registry.empty() ? DescriptorRegistry::defaultFolder() : std::filesystem::path(a.registry);
    if (a.last) {
        DescriptorRegistry registry(registryFolder);
        const Descriptor* d = registry.find(f.scope);
        const DescriptorItem* item = d ? d->find(FP_FOURCC('p', 'a', 'r', 'M')) : nullptr;
        if (!item) {
            if (!a.quiet)
                std::fprintf(stderr, "orvo: note: no last-used values of %s in %s; using the defaults\n",
                             f.plainMenuName().c_str(), registry.file().c_str());
        } else {
            start = item->bytes;
            startName = "the last-used values";
        }
    }
    EditResult values;
    try {
        values = c.edit(f, start, -1, {});
    } catch (const std::exception&) {
        fail(kInputError, startName + " cannot be used: it is not for " + table.title);
    }
    for (const auto& [key, text] : a.sets) {
        const ParamInfo* p = table.find(key);
        if (!p) {
            std::string keys;
            for (const ParamInfo& q : table.params)
                if (q.settable() && !q.hidden)
                    {
                    if (!keys.empty())
                        keys += ", ";
                    keys += q.key;
                }
            fail(kUsage, "unknown key \"" + key + "\" for " + table.title + "; its keys are: " + keys +
                             " (orvo describe " + f.suffix() + ")");
        }
        std::vector<uint8_t> value;
        try {
            value = parseValue(*p, text);
        } catch (const ValueError& e) {
            fail(kUsage, e.what());
        }
        try {
            values = c.edit(f, values.blob, p->index, value);
        } catch (const std::exception& e) {
            fail(kFilterFailed, std::string("--set ") + key + ": " + e.what());
        }
    }
    if (!a.quiet)
        for (const auto& [key, text] : a.sets) {
            const ParamInfo* p = table.find(key);
            if (static_cast<size_t>(p->index) < values.enabled.size() && !values.enabled[static_cast<size_t>(p->index)])
                std::fprintf(stderr,
                             "orvo: warning: %s (\"%s\") is disabled by the other settings; its value may have no effect\n",
                             key.c_str(), p->label.c_str());
        }

    Picture picture;
    try {
        picture = readImage(in, a.depth);
    } catch (const std::exception& e) {
        fail(kInputError, e.what());
    }

    HostOptions options;
    options.registryFolder = registryFolder;
    options.tileHeight = static_cast<int16_t>(a.tileHeight);
    if (a.transport == "advance-state")
        options.withheldSuites = {kFpBufferSuite, kFpChannelPortsSuite};
    Progress progress(!a.quiet && ::isatty(2));
    options.progress = [&](int32_t done, int32_t total) { progress.update(done, total); };
    options.abort = [] { return gInterrupted.load(); };

    Descriptor script;
    script.put(FP_FOURCC('p', 'a', 'r', 'M'), kFpTypeText, values.blob);
    RunResult result;
    std::optional<Descriptor> recorded;
    {
        HostSession session(picture.document, options);
        if (!session.registry().loadMessage().empty() && !a.quiet)
            std::fprintf(stderr, "orvo: warning: %s\n", session.registry().loadMessage().c_str());
        RunOptions run;
        run.playScript = &script;
        run.playInfo = kFpDialogSilent;
        try {
            result = runFilter(session, c.module(f), f.entryName, run);
        } catch (const std::exception& e) {
            fail(kNoModule, e.what());
        }
        recorded = result.recorded;
    }
    progress.finish();
    if (result.result == kFpUserCanceledErr || gInterrupted)
        fail(kInterrupted, "interrupted: the filter stopped (result -128); nothing was written");
    if (result.result != kFpNoErr)
        fail(kFilterFailed, f.plainMenuName() + " failed: " + resultMessage(result));

    try {
        if (!writeImage(out, picture, {.pngLevel = a.pngLevel}, [] { return gInterrupted.load(); }))
            fail(kInterrupted, "interrupted while writing; nothing was written");
    } catch (const ImageError& e) {
        fail(kOutputError, e.what());
    }
    if (!a.savePreset.empty()) {
        const DescriptorItem* item = recorded ? recorded->find(FP_FOURCC('p', 'a', 'r', 'M')) : nullptr;
        const std::vector<uint8_t>& bytes = item ? item->bytes : values.blob;
        std::string error;
        if (!fx::writeFileAtomically(a.savePreset.c_str(), bytes.data(), bytes.size(), &error))
            fail(kOutputError, error);
    }
    if (!a.quiet && !picture.alpha.empty() && formatForPath(out) == ImageFormat::Jpeg)
        std::fprintf(stderr, "orvo: note: JPEG has no alpha channel; the input's alpha was left out\n");
    return kOk;
}

// ---- chart ----

int commandChart(const Args& a)
{
    if (a.positional.size() != 1)
        fail(kUsage, "usage: orvo chart OUT [--size WxH] [--depth 8|16]");
    const std::string& out = a.positional[0];
    if (!formatForPath(out))
        fail(kUsage, out + ": unknown output format (use .png, .jpg, .jpeg, .tif or .tiff)");
    int width = 1536, height = 1024;
    if (!a.size.empty()) {
        const size_t x = a.size.find_first_of("xX");
        if (x == std::string::npos)
            fail(kUsage, "--size takes WxH, for example 1536x1024");
        width = parseInt("--size", a.size.substr(0, x), 1, Document::kMaxSide);
        height = parseInt("--size", a.size.substr(x + 1), 1, Document::kMaxSide);
    }
    Picture p;
    p.document = makeChart(width, height, a.depth ? a.depth : 8);
    p.fileDepth = p.document.depth();
    try {
        if (!writeImage(out, p, {.pngLevel = a.pngLevel}, [] { return gInterrupted.load(); }))
            fail(kInterrupted, "interrupted while writing; nothing was written");
    } catch (const ImageError& e) {
        fail(kOutputError, e.what());
    }
    return kOk;
}

} // namespace

int main(int argc, char** argv)
{
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A parent may start us with the signals blocked; Ctrl-C must still reach the filter.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    try {
        if (argc < 2)
            fail(kUsage, std::string("no command given\n") + kUsageText);
        const std::string command = argv[1];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        const Args args = parseArgs(argc, argv, 2);
        if (command == "list")
            return commandList(args);
        if (command == "describe")
            return commandDescribe(args);
        if (command == "apply")
            return commandApply(args);
        if (command == "chart")
            return commandChart(args);
        fail(kUsage, "unknown command \"" + command + "\" (orvo --help)");
    } catch (const Failure& f) {
        std::fprintf(stderr, "orvo: %s\n", f.message.c_str());
        return f.code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvo: %s\n", e.what());
        return kFilterFailed;
    }
}
