// The project walk to the first layer of the first composition of the open project.
// Main thread: it calls the host. Suites are taken through one AEGP_SuiteHandler and
// given back before it returns; a suite the host refuses throws int 516 out of it.
#pragma once

#include "AEFX_Export.h"
#include "AE_Host.h"

// Stores the first layer of the project's first composition in *layer; *layer is
// untouched when there is no composition or it has no layers. Returns the first
// non-zero host code met on the way; 6 (and no host call) for a null layer address.
CUEBRIDGE_EXPORT A_Err GetNewFirstLayerInFirstComp(SPBasicSuite* basic, AEGP_LayerH* layer);
