#pragma once
// Identifiers shared by the resource script and the code.
#define TOVANIK_ICON 1
// The manifest of the activation context the tooltips are made in (common_controls.h). Not
// 1, the program's own manifest, which the loader applies at start; 2 is the number the
// system gives such a manifest (ISOLATIONAWARE_MANIFEST_RESOURCE_ID), which an EXE's
// loader leaves alone.
#define TOVANIK_COMMON_CONTROLS_MANIFEST 2
