// Ids of the module's resources, shared by the resource script and the code.
// Plain macros only: the resource compiler reads this file too.
#pragma once

#define KZR_IDD_ABOUT 101    // the About box
#define KZR_IDB_CRATE 102    // the crate picture in it
#define KZR_IDV_VERSION 1    // the version block
