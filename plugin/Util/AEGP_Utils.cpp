#include "AEGP_Utils.h"

#include "AEGP_SuiteHandler.h"

namespace {

constexpr A_long kOpenProjectIndex = 0;
constexpr A_long kFirstLayerIndex = 0;

// Walks the project's items in host order until a composition is found. The type is
// asked for every item the walk reaches, also the null item that ends the project;
// the host's answer for it is the walk's result. *item is the composition found, null
// when there is none; after an error it means nothing and the caller asks no further.
A_Err FindFirstComp(const AEGP_SuiteHandler& suites, AEGP_ProjectH project, AEGP_ItemH* item) {
    AEGP_ItemType type = AEGP_ItemType_NONE;
    A_Err err = suites.ItemSuite8()->AEGP_GetFirstProjItem(project, item);
    if (!err) err = suites.ItemSuite6()->AEGP_GetItemType(*item, &type);
    while (!err && *item != nullptr && type != AEGP_ItemType_COMP) {
        AEGP_ItemH next = nullptr;
        err = suites.ItemSuite6()->AEGP_GetNextProjItem(project, *item, &next);
        *item = next;
        if (!err) err = suites.ItemSuite6()->AEGP_GetItemType(*item, &type);
    }
    if (type != AEGP_ItemType_COMP) *item = nullptr;
    return err;
}

}  // namespace

// main thread
A_Err GetNewFirstLayerInFirstComp(SPBasicSuite* basic, AEGP_LayerH* layer) {
    if (layer == nullptr) return A_Err_PARAMETER;
    AEGP_SuiteHandler suites(basic);
    AEGP_ProjectH project = nullptr;
    AEGP_ItemH item = nullptr;
    AEGP_CompH comp = nullptr;
    A_long numLayers = 0;

    A_Err err = suites.ProjSuite5()->AEGP_GetProjectByIndex(kOpenProjectIndex, &project);
    if (!err) err = FindFirstComp(suites, project, &item);
    if (!err && item != nullptr) err = suites.CompSuite4()->AEGP_GetCompFromItem(item, &comp);
    if (!err && comp != nullptr)
        err = suites.LayerSuite5()->AEGP_GetCompNumLayers(comp, &numLayers);
    if (!err && comp != nullptr && numLayers != 0) {
        err = suites.LayerSuite5()->AEGP_GetCompLayerByIndex(comp, kFirstLayerIndex, layer);
    }
    return err;
}
