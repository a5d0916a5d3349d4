#include "AEGP_SuiteHandler.h"

namespace {

// Names are string literals, so .data() is NUL-terminated.
using SuitePair = AEGP_SuiteHandler::SuitePair;

constexpr std::array<SuitePair, AEGP_SuiteHandler::kKnownSuiteCount> kSuites{{
    {"AEGP Marker Suite", 1},
    {"AEGP Marker Suite", 2},
    {"AEGP Marker Suite", 3},
    {"AEGP Layer Suite", 8},
    {"AEGP Layer Suite", 10},
    {"AEGP Stream Suite", 10},
    {"AEGP Stream Suite", 9},
    {"AEGP Stream Suite", 8},
    {"AEGP Stream Suite", 7},
    {"AEGP Stream Suite", 4},
    {"AEGP Dynamic Stream Suite", 2},
    {"AEGP Dynamic Stream Suite", 3},
    {"AEGP Dynamic Stream Suite", 5},
    {"AEGP Keyframe Suite", 4},
    {"AEGP Keyframe Suite", 3},
    {"AEGP Keyframe Suite", 1},
    {"AEGP Comp Suite", 9},
    {"AEGP Comp Suite", 11},
    {"AEGP Comp Suite", 14},
    {"AEGP Comp Suite", 15},
    {"AEGP Comp Suite", 18},
    {"AEGP Comp Suite", 19},
    {"AEGP Comp Suite", 21},
    {"AEGP Comp Suite", 25},
    {"AEGP Canvas Suite", 10},
    {"AEGP Canvas Suite", 11},
    {"AEGP Canvas Suite", 13},
    {"AEGP Canvas Suite", 14},
    {"AEGP Camera Suite", 2},
    {"AEGP Register Suite", 6},
    {"AEGP Item View Suite", 1},
    {"AEGP Item Suite", 14},
    {"AEGP Item Suite", 13},
    {"AEGP Item Suite", 11},
    {"AEGP Item Suite", 10},
    {"AEGP Item Suite", 7},
    {"AEGP Item Suite", 3},
    {"AEGP PF Interface Suite", 1},
    {"AEGP Math Suite", 1},
    {"PF AE Adv Time Suite", 4},
    {"PF Path Query Suite", 1},
    {"AEGP Memory Suite", 1},
    {"PF Path Data Suite", 1},
    {"PF Param Utils Suite", 3},
    {"PF AE App Suite", 6},
    {"PF AE App Suite", 7},
    {"PF AE App Suite", 1},
    {"PF AE Adv App Suite", 2},
    {"AEGP Light Suite", 1},
    {"AEGP Light Suite", 2},
    {"AEGP Effect Suite", 1},
    {"AEGP Effect Suite", 2},
    {"AEGP Effect Suite", 3},
    {"AEGP Effect Suite", 4},
    {"AEGP Layer Mask Suite", 5},
    {"AEGP Mask Outline Suite", 2},
    {"AEGP Mask Outline Suite", 3},
    {"AEGP Mask Outline Suite", 5},
    {"AEGP Command Suite", 1},
    {"AEGP Utility Suite", 7},
    {"AEGP Render Suite", 1},
    {"AEGP Render Suite", 2},
    {"AEGP Render Suite", 3},
    {"AEGP Render Suite", 5},
    {"AEGP Render Suite", 8},
    {"PF ANSI Suite", 1},
    {"PF Handle Suite", 2},
    {"PF Fill Matte Suite", 2},
    {"PF World Transform Suite", 1},
    {"AEGP QueryXform Suite", 4},
    {"AEGP Composite Suite", 4},
    {"PF World Suite", 1},
    {"AEGP IO In Suite", 5},
    {"AEGP IO Out Suite", 7},
    {"AEGP Render Queue Suite", 1},
    {"AEGP Render Queue Item Suite", 3},
    {"AEGP Output Module Suite", 4},
    {"AEGP File Import Manager Suite", 3},
    {"PF Sampling8 Suite", 1},
    {"PF Sampling16 Suite", 1},
    {"PF Iterate8 Suite", 1},
    {"PF iterate16 Suite", 1},
    {"PF iterateFloat Suite", 1},
    {"PF Iterate8 Suite", 2},
    {"PF iterate16 Suite", 2},
    {"PF iterateFloat Suite", 2},
    {"AEGP Collection Suite", 2},
    {"AEGP Text Document Suite", 1},
    {"AEGP Sound Data Suite", 1},
    {"AEGP Text Layer Suite", 1},
    {"AEGP Artisan Util Suite", 1},
    {"AEGP World Suite", 2},
    {"AEGP World Suite", 3},
    {"AEGP Render Options Suite", 1},
    {"AEGP Tracker Suite", 1},
    {"AEGP Tracker Utility Suite", 1},
    {"AE Plugin Helper Suite2", 2},
    {"AEGP Layer Suite", 11},
    {"AEGP Layer Suite", 12},
    {"AEGP Layer Suite", 13},
    {"AEGP Layer Suite", 14},
    {"PF AE Adv Item Suite", 1},
    {"AEGP Layer Suite", 5},
    {"AEGP Layer Mask Suite", 2},
    {"AEGP Layer Mask Suite", 6},
    {"AEGP Layer Mask Suite", 7},
    {"AEGP Comp Suite", 4},
    {"AEGP Collection Suite", 1},
    {"PF AE Adv App Suite", 1},
    {"AEGP Utility Suite", 3},
    {"AEGP Render Options Suite", 2},
    {"AEGP Layer Render Options Suite", 1},
    {"AEGP Layer Render Options Suite", 2},
    {"AEGP Render Asyc Manager Suite", 1},
    {"AEGP Proj Suite", 8},
    {"AEGP Proj Suite", 9},
    {"AEGP Footage Suite", 11},
    {"AEGP Render Queue Item Suite", 4},
    {"AEGP Utility Suite", 10},
    {"AEGP Persistent Data Suite", 4},
    {"AEGP Persistent Data Suite", 3},
    {"PF Color Settings Suite", 4},
    {"PF Color Settings Suite", 3},
    {"PF Color Settings Suite", 1},
    {"PF ColorParamSuite", 1},
    {"PF SamplingFloat Suite", 1},
    {"AEGP Utility Suite", 11},
    {"AEGP Utility Suite", 13},
    {"PF Effect Custom UI Suite", 1},
    {"PF Effect Custom UI Suite", 2},
    {"PF Effect Custom UI Overlay Theme Suite", 1},
    {"DRAWBOT Draw Suite", 1},
    {"DRAWBOT Supplier Suite", 1},
    {"DRAWBOT Surface Suite", 2},
    {"DRAWBOT Path Suite", 1},
    {"SP Suites Suite", 2},
}};

// Position of (name, version) in kSuites, found at compile time so that a typo in an
// accessor fails the build instead of the lookup.
constexpr std::size_t IndexOf(std::string_view name, int version) {
    for (std::size_t i = 0; i < kSuites.size(); ++i) {
        if (kSuites[i].name == name && kSuites[i].version == version) return i;
    }
    throw "unknown suite";
}

template <typename T>
T* As(void* suite) {
    return static_cast<T*>(suite);
}

}  // namespace

const std::array<SuitePair, AEGP_SuiteHandler::kKnownSuiteCount>& AEGP_SuiteHandler::KnownSuites() {
    return kSuites;
}

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
    if (basic_ == nullptr) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() noexcept { ReleaseAllSuites(); }

void* AEGP_SuiteHandler::LoadSuite(const char* name, int version) const {
    const void* suite = nullptr;
    const SPErr err = basic_->AcquireSuite(name, version, &suite);
    if (err != 0 || suite == nullptr) MissingSuiteError();
    return const_cast<void*>(suite);
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int version) {
    (void)basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::MissingSuiteError() const { ::MissingSuiteError(); }

void AEGP_SuiteHandler::ReleaseAllSuites() {
    for (std::size_t i = 0; i < kSuites.size(); ++i) {
        if (cache_[i] != nullptr) ReleaseSuite(kSuites[i].name.data(), kSuites[i].version);
    }
}

void* AEGP_SuiteHandler::Suite(std::size_t index) const {
    if (cache_[index] == nullptr) {
        cache_[index] = LoadSuite(kSuites[index].name.data(), kSuites[index].version);
    }
    return cache_[index];
}

#define CUEBRIDGE_ACCESSOR(Accessor, Type, Name, Version)             \
    Type* AEGP_SuiteHandler::Accessor() const {                       \
        static constexpr std::size_t kIndex = IndexOf(Name, Version); \
        return As<Type>(Suite(kIndex));                               \
    }

CUEBRIDGE_ACCESSOR(AdvAppSuite2, PF_AdvAppSuite2, kPFAdvAppSuite, kPFAdvAppSuiteVersion2)
CUEBRIDGE_ACCESSOR(AppSuite6, PF_AppSuite6, kPFAppSuite, kPFAppSuiteVersion6)
CUEBRIDGE_ACCESSOR(CommandSuite1, AEGP_CommandSuite1, kAEGPCommandSuite, kAEGPCommandSuiteVersion1)
CUEBRIDGE_ACCESSOR(CompSuite4, AEGP_CompSuite4, kAEGPCompSuite, kAEGPCompSuiteVersion4)
CUEBRIDGE_ACCESSOR(ItemSuite6, AEGP_ItemSuite6, kAEGPItemSuite, kAEGPItemSuiteVersion6)
CUEBRIDGE_ACCESSOR(ItemSuite8, AEGP_ItemSuite8, kAEGPItemSuite, kAEGPItemSuiteVersion8)
CUEBRIDGE_ACCESSOR(ItemSuite9, AEGP_ItemSuite9, kAEGPItemSuite, kAEGPItemSuiteVersion9)
CUEBRIDGE_ACCESSOR(LayerSuite5, AEGP_LayerSuite5, kAEGPLayerSuite, kAEGPLayerSuiteVersion5)
CUEBRIDGE_ACCESSOR(MemorySuite1, AEGP_MemorySuite1, kAEGPMemorySuite, kAEGPMemorySuiteVersion1)
CUEBRIDGE_ACCESSOR(ProjSuite5, AEGP_ProjSuite5, kAEGPProjSuite, kAEGPProjSuiteVersion5)
CUEBRIDGE_ACCESSOR(ProjSuite6, AEGP_ProjSuite6, kAEGPProjSuite, kAEGPProjSuiteVersion6)
CUEBRIDGE_ACCESSOR(RegisterSuite5, AEGP_RegisterSuite5, kAEGPRegisterSuite,
                   kAEGPRegisterSuiteVersion5)
CUEBRIDGE_ACCESSOR(UtilitySuite3, AEGP_UtilitySuite3, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3)
CUEBRIDGE_ACCESSOR(UtilitySuite6, AEGP_UtilitySuite6, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6)

#undef CUEBRIDGE_ACCESSOR
