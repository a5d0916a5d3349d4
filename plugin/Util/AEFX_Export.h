// Marks a function as part of the plug-in's export surface. The build hides every
// symbol by default and the linker's version script names the exports; a function
// must carry this macro and be listed there to leave Cuebridge.so.
#pragma once

#define CUEBRIDGE_EXPORT __attribute__((visibility("default")))
