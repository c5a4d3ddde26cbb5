#pragma once

#include "app/core/Descriptor.h"
#include "app/core/DescriptorRegistry.h"
#include "app/core/Document.h"
#include "platform/Suites.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvo {

struct HostOptions {
    // Folder of the persistent descriptor registry; empty = DescriptorRegistry::defaultFolder().
    std::filesystem::path registryFolder;
    // The host's preferred tile (0 = no preference) and the origin of its tile grid.
    int16_t tileHeight = 0;
    int16_t tileWidth = 0;
    int16_t tileOriginV = 0;
    int16_t tileOriginH = 0;
    // Suites the SP basic suite refuses to hand out, by name (for testing fallbacks).
    std::set<std::string> withheldSuites;
    bool withholdAdvanceState = false;
    bool withholdBufferProcs = false;
    bool withholdDocumentInfo = false;
    bool withholdDescriptorParameters = false;
    // Largest single allocation (handles, buffers, blocks) the host grants.
    int32_t maxAllocation = 1 << 30;
    // Progress and abort hooks of the application.
    std::function<void(int32_t done, int32_t total)> progress;
    std::function<bool()> abort;
};

// One host session over a document: the filter record and an in-memory implementation of every
// procedure and suite it offers. Procedures validate all arguments and answer bad ones with an
// error code.
//
// The protocol's procedures carry no context, so they act on the current session: the most
// recently constructed one that is still alive. Sessions run on one thread.
class HostSession {
public:
    explicit HostSession(Document& document, HostOptions options = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    static HostSession* current();

    FilterRecord& record() { return record_; }
    Document& document() { return document_; }
    // The pixels a filter reads: during a run (beginRun .. endRun) the document as it was when the
    // run began, so bands already written never feed later bands; otherwise the document itself.
    const Document& source() const { return source_ ? *source_ : document_; }
    void beginRun() { source_ = document_; }
    void endRun() { source_.reset(); }
    const HostOptions& options() const { return options_; }
    DescriptorRegistry& registry() { return registry_; }

    // The module file path that the SP Plug-ins suite reports.
    void setModulePath(std::string path) { modulePath_ = std::move(path); }

    // Host-side handle access.
    FpHandle makeHandle(const std::vector<uint8_t>& bytes);
    bool isHandle(FpHandle h) const;
    std::optional<std::vector<uint8_t>> handleBytes(FpHandle h) const;
    void freeHandle(FpHandle h);

    // The message a plug-in left in errorString (length byte, then the characters).
    std::string errorText() const;
    void clearErrorText() { errorString_[0] = 0; }

    // Advance state: commits the output of the current request and delivers the next one. The
    // same work the plug-in triggers by calling advanceState.
    int16_t advance();
    // Commits pending output and drops the advance-state buffers.
    void finishAdvance();
    bool hasRequest() const;

    // Balance checks: suites acquired and not released, live buffers, blocks and handles.
    int32_t outstandingSuites() const;
    size_t liveBuffers() const { return buffers_.size() + suiteBuffers_.size() + blocks_.size(); }
    size_t liveHandles() const { return handles_.size(); }

    // Per-filter state the host keeps between calls: the data word and the parameters handle.
    struct FilterState {
        intptr_t data = 0;
        FpHandle parameters = nullptr;
    };
    FilterState& filterState(const std::string& entryName) { return filterStates_[entryName]; }

    // Script descriptors: set before a run to replay, read after Finish to record.
    void setPlayScript(const Descriptor* script, int16_t playInfo);
    std::optional<Descriptor> takeRecordedScript();
    int16_t recordInfo() const { return descriptorParameters_.recordInfo; }

    struct Impl;

private:
    struct HandleRec {
        std::unique_ptr<char[]> bytes;
        int32_t size = 0;
        int32_t locks = 0;
    };
    struct BufferRec {
        std::unique_ptr<uint8_t[]> bytes;
        int32_t size = 0;
        bool locked = false;
    };
    struct Reader {
        Descriptor descriptor;
        std::vector<FpDescriptorKey> keys;
        bool all = true;
        size_t next = 0;
        const DescriptorItem* current = nullptr;
    };
    struct Writer {
        Descriptor descriptor;
    };
    struct AdvanceBuffer {
        std::vector<uint8_t> bytes;
        DocRect rect;
        int lo = 0, hi = 0;
    };

    void buildRecord();
    bool allocationAllowed(int64_t size) const { return size >= 0 && size <= options_.maxAllocation; }

    Document& document_;
    std::optional<Document> source_;
    HostOptions options_;
    DescriptorRegistry registry_;
    HostSession* previous_;
    std::string modulePath_;

    FilterRecord record_{};
    FpHandleProcs handleProcs_{};
    FpBufferProcs bufferProcs_{};
    FpPlatformData platformData_{};
    FpDocumentInfo documentInfo_{};
    FpChannelDesc channels_[Document::kChannels]{};
    char readPorts_[Document::kChannels]{};
    char writePorts_[Document::kChannels]{};
    char pluginRef_ = 0;
    FpDescriptorParameters descriptorParameters_{};
    FpReadDescriptorProcs readProcs_{};
    FpWriteDescriptorProcs writeProcs_{};
    uint8_t errorString_[256]{};

    std::map<FpHandle, std::unique_ptr<HandleRec>> handles_;
    std::map<FpBufferID, std::unique_ptr<BufferRec>> buffers_;
    std::map<const void*, std::unique_ptr<BufferRec>> suiteBuffers_;
    std::map<const void*, std::unique_ptr<BufferRec>> blocks_;
    std::map<FpActionDescriptor, std::unique_ptr<Descriptor>> actionDescriptors_;
    std::map<FpReadDescriptor, std::unique_ptr<Reader>> readers_;
    std::map<FpWriteDescriptor, std::unique_ptr<Writer>> writers_;
    std::map<std::string, int32_t> acquired_;
    std::map<std::string, FilterState> filterStates_;

    std::optional<AdvanceBuffer> advanceIn_, advanceOut_;
};

} // namespace orvo
