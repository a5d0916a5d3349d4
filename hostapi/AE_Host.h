/* Everything of the host interface in one include. */
#ifndef CUEBRIDGE_HOSTAPI_AE_HOST_H
#define CUEBRIDGE_HOSTAPI_AE_HOST_H
#include "AE_Effect.h"
#include "AE_Suites.h"
#include "AE_Types.h"
#include "SPBasic.h"
#endif
