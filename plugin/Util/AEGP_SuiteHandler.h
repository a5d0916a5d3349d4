// AEGP_SuiteHandler: obtains host suites by name and version through the basic suite,
// caches each one on first use, and gives back every suite it obtained when it is
// destroyed. A suite the host refuses (or hands out as null) throws int 516.
// Handlers are short-lived locals used by the one thread that made them; they hold no
// shared state. A suite pointer is valid while the handler that returned it lives.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "AE_Host.h"
#include "MissingSuiteError.h"

class AEGP_SuiteHandler {
public:
    struct SuitePair {
        std::string_view name;
        int version;
    };
    // Every (name, version) a handler knows, in release order.
    static constexpr std::size_t kKnownSuiteCount = 136;
    static const std::array<SuitePair, kKnownSuiteCount>& KnownSuites();

    // Throws 516 when basic is null.
    explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
    ~AEGP_SuiteHandler() noexcept;
    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    PF_AdvAppSuite2* AdvAppSuite2() const;        // "PF AE Adv App Suite" 2
    PF_AppSuite6* AppSuite6() const;              // "PF AE App Suite" 1
    AEGP_CommandSuite1* CommandSuite1() const;    // "AEGP Command Suite" 1
    AEGP_CompSuite4* CompSuite4() const;          // "AEGP Comp Suite" 9
    AEGP_ItemSuite6* ItemSuite6() const;          // "AEGP Item Suite" 10
    AEGP_ItemSuite8* ItemSuite8() const;          // "AEGP Item Suite" 13
    AEGP_ItemSuite9* ItemSuite9() const;          // "AEGP Item Suite" 14
    AEGP_LayerSuite5* LayerSuite5() const;        // "AEGP Layer Suite" 11
    AEGP_MemorySuite1* MemorySuite1() const;      // "AEGP Memory Suite" 1
    AEGP_ProjSuite5* ProjSuite5() const;          // "AEGP Proj Suite" 8
    AEGP_ProjSuite6* ProjSuite6() const;          // "AEGP Proj Suite" 9
    AEGP_RegisterSuite5* RegisterSuite5() const;  // "AEGP Register Suite" 6
    AEGP_UtilitySuite3* UtilitySuite3() const;    // "AEGP Utility Suite" 7
    AEGP_UtilitySuite6* UtilitySuite6() const;    // "AEGP Utility Suite" 13

    // Acquires (name, version) from the host; throws 516 on refusal or a null table.
    void* LoadSuite(const char* name, int version) const;
    // Gives one acquisition of (name, version) back to the host; its result is ignored.
    void ReleaseSuite(const char* name, int version);
    [[noreturn]] void MissingSuiteError() const;

private:
    void ReleaseAllSuites();
    void* Suite(std::size_t index) const;

    const SPBasicSuite* basic_;
    mutable std::array<void*, kKnownSuiteCount> cache_{};
};
