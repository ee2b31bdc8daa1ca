#pragma once
// Operations of the editors and device screens on the show-data records:
// sequence ids and unique names, sorted scene lists, NSQ sets and tracks,
// auxiliary triggers and their input labels, the play-button grid and the
// device-screen layout made from it, universes and their address text, and the
// media index. Changes go through the setters with the caller's undo context.
// Each topic has its own header; this one gathers them for the editors and
// device screens.

#include "records/LRgb.h"
#include "records/MediaIndex.h"
#include "records/NsqSets.h"
#include "records/ParamTables.h"
#include "records/PlayGrid.h"
#include "records/ScreenLayout.h"
#include "records/Sequences.h"
#include "records/SortedLists.h"
#include "records/Triggers.h"
#include "records/Universes.h"
