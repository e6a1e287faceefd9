#pragma once
// Resource ids of the demo Client, shared by its resource script and code.

#define IDR_UPDATE_BOOTSTRAP 301
