#pragma once
// Identifiers shared by the resource script and the code.
#define TOVANIK_ICON 1
