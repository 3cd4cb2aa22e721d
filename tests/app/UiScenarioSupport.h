// What the UI driver's scenarios share: control ids, test files, and the steps a person takes.
#pragma once

#include "tests/app/UiDriver.h"
#include "tests/app/UiTestFiles.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesko::ui_driver {

using testfiles::BuiltFiles;

inline constexpr int kChoose = 101;
inline constexpr int kAction = 102;
inline constexpr int kPromo = 103;
inline constexpr int kDeleteSources = 104;

// Large enough that a batch of copies runs for seconds: room to cancel in the middle of a file.
const BuiltFiles& LargeNsz();

// Starts the program and chooses files of one folder in its open dialog.
void ChooseFiles(RunningApp& app, const std::wstring& folder, const std::vector<std::wstring>& names);

// The batch is over: the action button offers the folder, or converting again with Choose enabled.
bool BatchEnded(const RunningApp& app);

// Neither a temporary output nor a journal is left for the folder.
void ExpectNoLeftovers(const std::wstring& folder);

// One pixel of the screen, as the user sees it.
COLORREF ScreenPixel(POINT at);

// Ticks the delete-sources check box the way a click does.
void TickDeleteSources(const RunningApp& app);

// A batch of copies of the large file, started; returns once a temporary output is being written.
void StartLongBatch(RunningApp& app, const test::TempDir& dir, int copies);

// The NSP files in a folder.
std::size_t NspCount(const std::wstring& folder);

// The file of the destination scenario, written by "--prepare-locked" before the folder is locked.
testfiles::ContainerSpec LockedSpec();

// A folder that nobody may write into (prepared by the test script, which makes it immutable).
std::wstring LockedFolder();

} // namespace vesko::ui_driver
