#include "AEFX_SuiteHelper.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kAcquireFailed = "Not able to acquire AEFX Suite.";
constexpr const char* kReleaseFailed = "Not able to release AEFX Suite.";
constexpr const char* kNullDrawbotSet = "NULL suite pointer passed to AEFX_AcquireDrawbotSuites";

SPBasicSuite* BasicSuiteOf(const PF_InData* in_data) {
    return in_data != nullptr ? in_data->pica_basicP : nullptr;
}

// Shows message as the effect's error: flag bit 0x100 and the text in return_msg.
// The text is cut to fit return_msg and passed as an argument, never as the format,
// so a '%' in a caller's message is printed as it stands.
void ReportError(const PF_InData* in_data, PF_OutData* out_data, const char* message) {
    if (out_data == nullptr) return;
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    char fitted[sizeof out_data->return_msg];
    std::snprintf(fitted, sizeof fitted, "%s", message);
    const bool hasFormatter =
        in_data != nullptr && in_data->utils != nullptr && in_data->utils->ansi.sprintf != nullptr;
    if (hasFormatter) {
        in_data->utils->ansi.sprintf(out_data->return_msg, "%s", fitted);
    } else {
        std::memcpy(out_data->return_msg, fitted, sizeof fitted);
    }
}

// *suite is null on entry, so a refusal that leaves it alone cannot look like success.
A_Err AcquireFromHost(SPBasicSuite* basic, const char* name, int32_t version, const void** suite) {
    const SPErr hostErr = basic->AcquireSuite(name, version, suite);
    if (hostErr != 0) *suite = nullptr;  // a refused suite is not ours to use or release
    if (*suite == nullptr) return AEFX_Err_MISSING_SUITE;
    return A_Err_NONE;
}

// Acquires into one slot of the drawbot set, whatever its table type.
template <typename Table>
A_Err AcquireInto(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                  Table*& slot) {
    const void* table = nullptr;
    const A_Err err = AEFX_AcquireSuite(in_data, out_data, name, version, nullptr, &table);
    slot = static_cast<Table*>(const_cast<void*>(table));
    return err;
}

}  // namespace

extern "C" {

// the effect call's thread
A_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                        const char* message, const void** suite) {
    SPBasicSuite* basic = BasicSuiteOf(in_data);
    if (suite != nullptr) *suite = nullptr;  // whatever fails below, no stale table is left
    A_Err err = A_Err_NONE;
    if (suite == nullptr) {
        err = AEFX_Err_BAD_CALLBACK_PARAM;
    } else if (basic == nullptr) {
        err = AEFX_Err_MISSING_SUITE;
    } else {
        err = AcquireFromHost(basic, name, version, suite);
    }
    if (err != A_Err_NONE) ReportError(in_data, out_data, message ? message : kAcquireFailed);
    return err;
}

// the effect call's thread
A_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                        const char* message) {
    SPBasicSuite* basic = BasicSuiteOf(in_data);
    if (basic == nullptr) {
        ReportError(in_data, out_data, message ? message : kReleaseFailed);
        return AEFX_Err_MISSING_SUITE;
    }
    basic->ReleaseSuite(name, version);  // the host's verdict on a release changes nothing
    return A_Err_NONE;
}

// the effect call's thread
A_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites) {
    if (suites == nullptr) {
        ReportError(in_data, out_data, kNullDrawbotSet);
        return AEFX_Err_BAD_CALLBACK_PARAM;
    }
    A_Err err = AcquireInto(in_data, out_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1,
                            suites->drawbot_suiteP);
    if (err == A_Err_NONE) {
        err = AcquireInto(in_data, out_data, kDRAWBOT_SupplierSuite,
                          kDRAWBOT_SupplierSuite_Version1, suites->supplier_suiteP);
    }
    if (err == A_Err_NONE) {
        err = AcquireInto(in_data, out_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2,
                          suites->surface_suiteP);
    }
    if (err == A_Err_NONE) {
        err = AcquireInto(in_data, out_data, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1,
                          suites->path_suiteP);
    }
    return err;
}

// the effect call's thread
A_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
    AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, nullptr);
    AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1,
                      nullptr);
    AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2,
                      nullptr);
    AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, nullptr);
    return A_Err_NONE;
}

}  // extern "C"
