#include "host/FilterCall.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/ParameterBlob.h"
#include "host/PSRenderInfo.h"
#include "platform/ModuleResources.h"
#include "platform/Suites.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace orvo::host {

namespace {

constexpr std::size_t kInstanceDataSize = 16;

int acceptUnchanged(FilterCall&) { return 1; }
void showNothing(FilterCall&) {}

DialogRunner gDialog = acceptUnchanged;
AboutRunner gAbout = showNothing;

// Holds an acquired suite for a scope; empty when the host does not offer it.
template <class Suite>
class OptionalSuite {
public:
    OptionalSuite(FpSPBasicSuite* sp, const char* name, int32_t version) : sp_(sp), name_(name), version_(version)
    {
        const void* table = nullptr;
        if (sp_ && sp_->acquireSuite && sp_->acquireSuite(name_, version_, &table) == kFpNoErr && table)
            suite_ = static_cast<const Suite*>(table);
    }
    OptionalSuite(const OptionalSuite&) = delete;
    OptionalSuite& operator=(const OptionalSuite&) = delete;
    ~OptionalSuite()
    {
        if (suite_ && sp_->releaseSuite)
            sp_->releaseSuite(name_, version_);
    }
    explicit operator bool() const { return suite_ != nullptr; }
    const Suite* operator->() const { return suite_; }

private:
    FpSPBasicSuite* sp_;
    const char* name_;
    int32_t version_;
    const Suite* suite_ = nullptr;
};

// Frees an action descriptor through its suite at the end of a scope.
struct DescriptorFree {
    const FpActionDescriptorSuite2* suite;
    FpActionDescriptor descriptor = nullptr;
    ~DescriptorFree()
    {
        if (descriptor)
            suite->free(descriptor);
    }
};

void reportCurrentException(FilterRecord* record, int16_t* result)
{
    try {
        throw;
    } catch (const HostResult& e) {
        *result = e.code;
    } catch (const HostCallFailure&) {
        *result = kFpHostCallFailedErr;
    } catch (int16_t code) {
        *result = code;
    } catch (int32_t) {
        *result = kFpHostCallFailedErr;
    } catch (const std::exception& e) {
        if (record)
            setErrorString(*record, e.what());
        *result = kFpErrorStringErr;
    } catch (...) {
        if (record)
            setErrorString(*record, "Unknown Error");
        *result = kFpErrorStringErr;
    }
}

} // namespace

void setDialogRunner(DialogRunner runner) { gDialog = runner ? runner : acceptUnchanged; }
void setAboutRunner(AboutRunner runner) { gAbout = runner ? runner : showNothing; }

void setErrorString(FilterRecord& record, const char* text)
{
    if (!record.errorString)
        return;
    const std::size_t length = text ? std::min<std::size_t>(std::strlen(text), 255) : 0;
    record.errorString[0] = static_cast<uint8_t>(length);
    if (length)
        std::memcpy(record.errorString + 1, text, length);
}

FilterCall::FilterCall(fx::Effect& effect, FilterRecord& record, intptr_t* data, int16_t* result, const char* guid,
                       bool showsAbout)
    : record_(record), data_(data), result_(result), effect_(effect), guid_(guid), showsAbout_(showsAbout),
      handles_(record.handleProcs)
{
    *result_ = kFpNoErr;
}

void FilterCall::dispatch(int16_t selector)
{
    ScopedHostHandles scope(handles_);
    try {
        if (selector != kFpSelectorAbout)
            PS_Host::instance().findPluginPath(record_);
        switch (selector) {
        case kFpSelectorAbout:
            if (showsAbout_)
                gAbout(*this);
            break;
        case kFpSelectorParameters:
            if (loadParameters()) {
                uint8_t flag = 1;
                withInstanceData(&flag, true, 1);
            }
            break;
        case kFpSelectorPrepare:
            loadParameters();
            break;
        case kFpSelectorStart:
            start();
            break;
        case kFpSelectorContinue:
            break;
        case kFpSelectorFinish:
            if (loadParameters()) {
                storeLastUsed();
                writeScriptParameters();
            }
            break;
        default:
            break;
        }
    } catch (...) {
        reportCurrentException(&record_, result_);
    }
}

// Reads (and with write, sets) byte 0 of InstanceData. False when there is no such handle or it
// cannot be locked.
bool FilterCall::withInstanceData(uint8_t* flag, bool write, uint8_t value)
{
    if (!data_ || !*data_)
        return false;
    const fx::Handle handle = reinterpret_cast<fx::Handle>(*data_);
    fx::HandleLock lock(handles_, handle);
    auto* bytes = static_cast<uint8_t*>(lock.bytes());
    if (!bytes || handles_.size(handle) < 1)
        return false;
    *flag = bytes[0];
    if (write)
        bytes[0] = value;
    return true;
}

bool FilterCall::loadParameters()
{
    if (!record_.parameters) {
        fx::Handle blob = fx::makeBlob(effect_, handles_);
        if (!blob) {
            *result_ = kFpMemFullErr;
            return false;
        }
        record_.parameters = PS_HandleProcs::unwrap(blob);
    }
    if (data_ && *data_ == 0) {
        fx::OwnedHandle instance(handles_, handles_.allocate(kInstanceDataSize));
        {
            fx::HandleLock lock(handles_, instance.get());
            if (!lock.bytes() || handles_.size(instance.get()) < kInstanceDataSize) {
                *result_ = kFpMemFullErr;
                return false;
            }
            auto* bytes = static_cast<uint8_t*>(lock.bytes());
            std::memset(bytes + 2, 0, kInstanceDataSize - 2);
            bytes[0] = 1;
        }
        *data_ = reinterpret_cast<intptr_t>(instance.release());
    }
    const fx::Handle parameters = PS_HandleProcs::wrap(record_.parameters);
    fx::HandleLock lock(handles_, parameters);
    if (!lock.bytes()) {
        *result_ = kFpMemFullErr;
        return false;
    }
    fx::applyBlob(effect_, lock.bytes(), handles_.size(parameters));
    return true;
}

void FilterCall::restoreLastUsed()
{
    OptionalSuite<FpDescriptorRegistrySuite1> registry(record_.sSPBasic, kFpDescriptorRegistrySuite,
                                                       kFpDescriptorRegistrySuiteVersion);
    OptionalSuite<FpActionDescriptorSuite2> actions(record_.sSPBasic, kFpActionDescriptorSuite,
                                                    kFpActionDescriptorSuiteVersion);
    if (!registry || !actions)
        return;
    DescriptorFree stored{actions.operator->()};
    if (registry->get(guid_, &stored.descriptor) != kFpNoErr || !stored.descriptor)
        return;
    int32_t length = 0;
    if (actions->getDataLength(stored.descriptor, kFpKeyParameters, &length) != kFpNoErr || length <= 0)
        return;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (actions->getData(stored.descriptor, kFpKeyParameters, bytes.data(), length) != kFpNoErr)
        return;
    fx::applyBlob(effect_, bytes.data(), bytes.size());
}

void FilterCall::storeLastUsed()
{
    OptionalSuite<FpDescriptorRegistrySuite1> registry(record_.sSPBasic, kFpDescriptorRegistrySuite,
                                                       kFpDescriptorRegistrySuiteVersion);
    OptionalSuite<FpActionDescriptorSuite2> actions(record_.sSPBasic, kFpActionDescriptorSuite,
                                                    kFpActionDescriptorSuiteVersion);
    if (!registry || !actions)
        return;
    DescriptorFree made{actions.operator->()};
    if (actions->make(&made.descriptor) != kFpNoErr || !made.descriptor)
        return;
    fx::OwnedHandle blob(handles_, fx::makeBlob(effect_, handles_));
    if (!blob)
        return;
    {
        fx::HandleLock lock(handles_, blob.get());
        if (!lock.bytes())
            return;
        const auto size = static_cast<int32_t>(handles_.size(blob.get()));
        if (actions->putData(made.descriptor, kFpKeyParameters, size, lock.bytes()) != kFpNoErr)
            return;
    }
    registry->registerDescriptor(guid_, made.descriptor, 1);
}

bool FilterCall::readScriptParameters()
{
    restoreLastUsed();
    FpDescriptorParameters* dp = record_.descriptorParameters;
    if (!dp || !dp->readDescriptorProcs || !dp->descriptor)
        return true;
    const FpReadDescriptorProcs* procs = dp->readDescriptorProcs;
    if (procs->openReader && procs->closeReader && procs->getKey && procs->getText) {
        const FpDescriptorKey keys[] = {kFpKeyParameters, 0};
        FpReadDescriptor reader = nullptr;
        if (procs->openReader(dp->descriptor, keys, &reader) == kFpNoErr && reader) {
            FpDescriptorKey key = 0;
            FpDescriptorType type = 0;
            int32_t flags = 0;
            while (procs->getKey(reader, &key, &type, &flags)) {
                FpHandle text = nullptr;
                if (key != kFpKeyParameters || procs->getText(reader, &text) != kFpNoErr || !text)
                    continue;
                fx::OwnedHandle owned(handles_, PS_HandleProcs::wrap(text));
                fx::applyVersionedBlob(effect_, owned.get(), handles_);
            }
            procs->closeReader(reader);
        }
    }
    handles_.dispose(PS_HandleProcs::wrap(dp->descriptor));
    dp->descriptor = nullptr;
    return dp->playInfo == kFpDialogDisplay;
}

void FilterCall::writeScriptParameters()
{
    FpDescriptorParameters* dp = record_.descriptorParameters;
    if (!dp || !dp->writeDescriptorProcs)
        return;
    const FpWriteDescriptorProcs* procs = dp->writeDescriptorProcs;
    if (!procs->openWriter || !procs->closeWriter || !procs->putText)
        return;
    FpWriteDescriptor writer = nullptr;
    if (procs->openWriter(&writer) != kFpNoErr || !writer)
        return;
    {
        fx::OwnedHandle blob(handles_, fx::makeBlob(effect_, handles_));
        if (blob)
            procs->putText(writer, kFpKeyParameters, PS_HandleProcs::unwrap(blob.get()));
    }
    if (dp->descriptor) {
        handles_.dispose(PS_HandleProcs::wrap(dp->descriptor));
        dp->descriptor = nullptr;
    }
    FpHandle descriptor = nullptr;
    if (procs->closeWriter(writer, &descriptor) == kFpNoErr)
        dp->descriptor = descriptor;
    dp->recordInfo = kFpDialogOptional;
}

bool FilterCall::runDialog()
{
    int accepted = 0;
    try {
        accepted = gDialog(*this);
    } catch (const HostResult& e) {
        *result_ = e.code;
        return false;
    } catch (int16_t code) {
        *result_ = code;
        return false;
    }
    if (accepted != 1)
        return false;
    for (int i = 0; i < effect_.parameterCount(); ++i) {
        fx::Parameter* p = effect_.parameterAt(i);
        if (p->kind == fx::ParamKind::List && p->key && std::strcmp(p->key, "view") == 0) {
            p->list.current = 0;
            break;
        }
    }
    return true;
}

void FilterCall::replaceParameters()
{
    fx::Handle blob = fx::makeBlob(effect_, handles_);
    if (!blob)
        return;
    if (record_.parameters)
        handles_.dispose(PS_HandleProcs::wrap(record_.parameters));
    record_.parameters = PS_HandleProcs::unwrap(blob);
}

void FilterCall::start()
{
    // The host asks for no more data after Start, whatever happens.
    struct ClearRequests {
        FilterRecord& r;
        ~ClearRequests() { r.inRect = r.outRect = r.maskRect = FpRect16{}; }
    } clear{record_};

    if (!loadParameters())
        return;
    const bool show = readScriptParameters();
    uint8_t flag = 0;
    if (withInstanceData(&flag, false, 0)) {
        bool accepted = true;
        if (flag == 1 && show)
            accepted = runDialog();
        withInstanceData(&flag, true, 0);
        if (!accepted) {
            if (*result_ == kFpNoErr)
                *result_ = kFpUserCanceledErr;
            return;
        }
    }

    const int32_t bytesPerChannel = record_.depth / 8 == 2 ? 2 : 1;
    PS_RenderDriver run(record_, effect_, false);
    if (bytesPerChannel == 2 && !run.image().suiteTransport())
        throw std::runtime_error("16-bit documents need the host's Buffer and ChannelPorts suites: this host offers "
                                 "only advance state, which carries 8-bit pixels");
    const bool completed = run.renderDocument(bytesPerChannel);
    replaceParameters();
    run.driver().end();
    if (!completed)
        *result_ = kFpUserCanceledErr;
}

void filterEntry(const char* registrationName, const char* guid, bool showsAbout, int16_t selector,
                 FilterRecord* record, intptr_t* data, int16_t* result)
{
    if (!result)
        return;
    *result = kFpNoErr;
    if (selector < kFpSelectorAbout || selector > kFpSelectorFinish)
        return;
    if (!record) {
        *result = kFpHostCallFailedErr;
        return;
    }
    try {
        PS_Host& host = PS_Host::instance();
        fx::Effect* effect = fx::createEffect(registrationName);
        if (!effect) {
            const std::string message = std::string("The filter \"") + (registrationName ? registrationName : "") +
                                        "\" is not available in this module";
            setErrorString(*record, message.c_str());
            *result = kFpErrorStringErr;
            return;
        }
        effect->setFlagBits(fx::EffectFlag::HostCreated);
        host.adopt(effect);
        struct GiveBack {
            PS_Host& host;
            fx::Effect* effect;
            ~GiveBack() { host.dispose(effect); }
        } giveBack{host, effect};
        FilterCall call(*effect, *record, data, result, guid, showsAbout);
        call.dispatch(selector);
    } catch (...) {
        reportCurrentException(record, result);
    }
}

} // namespace orvo::host
