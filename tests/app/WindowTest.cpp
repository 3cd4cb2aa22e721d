#include "app/BannerGeometry.h"
#include "app/FileIntake.h"
#include "app/HoverFade.h"
#include "app/Layout.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WindowView.h"

#include <gtest/gtest.h>

#include <map>

namespace vesko {
namespace {

using namespace std::string_literals;
using S = MainWindowState;

MainWindowState With(std::initializer_list<bool S::*> flags, std::vector<std::wstring> files = {L"a.nsz"}) {
    MainWindowState state;
    state.selectedFiles = std::move(files);
    state.statusText = L"status";
    for (bool S::*flag : flags) {
        state.*flag = true;
    }
    return state;
}

TEST(Scaling, RoundsLikeWindowsFitsTheWorkAreaAndNeverExceedsTheProposal) {
    // 496.5, 1.5, -1.5, -1.5, an exact result, a zero divisor and an overflow.
    const std::tuple<int, int, int, int> cases[] = {{331, 144, 96, 497},   {1, 144, 96, 2},    {-3, 1, 2, -2},
                                                    {3, -1, 2, -2},        {720, 96, 96, 720}, {5, 1, 0, -1},
                                                    {2147483647, 2, 1, -1}};
    for (const auto& [a, b, c, expected] : cases) {
        EXPECT_EQ(MulDivRound(a, b, c), expected) << a << " * " << b << " / " << c;
    }
    // 1366x728: b = MulDiv(664, 96, 620); 700x600 is the largest that fits below 96; 800x500 is too small
    // even at 96 and is clamped to 72, and a proposal below 72 is raised too.
    const std::tuple<int, int, std::uint32_t, std::uint32_t> fits[] = {
        {1920, 1040, 144, 144}, {1366, 728, 144, 103}, {3840, 2120, 192, 192}, {1920, 1040, 96, 96},
        {700, 600, 96, 83},     {800, 500, 96, 72},    {100, 100, 96, 72},     {1920, 1040, 60, 72}};
    for (const auto& [width, height, proposed, expected] : fits) {
        EXPECT_EQ(EffectiveDpi(width, height, proposed), expected)
            << width << "x" << height << " at " << proposed;
    }
    const PixelRect full{1920, 0, 3840, 1040}, small{0, 0, 1366, 728};
    EXPECT_EQ(StartDpiFor(144, 96, &full), 144u);   // a second monitor at 144, the primary at 96
    EXPECT_EQ(StartDpiFor(0, 120, &full), 120u);    // unreadable: the system DPI
    EXPECT_EQ(StartDpiFor(144, 96, &small), 103u);  // the work-area rule stays
    EXPECT_EQ(StartDpiFor(144, 96, nullptr), 144u); // no work area known
    const WindowPlacement at = CentreInWorkArea(PixelRect{100, 50, 1101, 850}, 736, 659);
    EXPECT_EQ(std::make_pair(at.x, at.y),
              std::make_pair(100 + 265 / 2, 50 + 141 / 2)); // half pixels truncated
}

TEST(Layout, ControlsPaintingAndBannerAtTheirDpiMirroredAndHovered) {
    const ControlLayout ltr = LayoutForDpi(96, false), at125 = LayoutForDpi(120, false);
    const PaintLayout paint = PaintLayoutForDpi(144, false), paintRtl = PaintLayoutForDpi(144, true);
    const BannerShapes banner = BannerShapesFor(96, false, 0.0f, true),
                       rtl = BannerShapesFor(96, true, 0.0f, true);
    // At 125 % the card's button keeps its scaled edges (434..486, 52) where the others scale their size.
    // clang-format off
    const std::pair<PixelRect, PixelRect> rects[] = {
        {ltr.promo, {28, 24, 692, 276}}, {ltr.choose, {544, 347, 672, 389}}, {rtl.badge, {24, 14, 66, 56}},
        {paint.client, {0, 0, 1080, 930}}, {paint.statusAndProgress, {42, 690, 1038, 791}},
        {banner.rings[1], {477, -137, 787, 173}}, {ltr.deleteSources, {28, 421, 692, 445}},
        {BannerTextRectsFor(96, false).rects[2], {24, 91, 640, 130}}, {ltr.action, {28, 549, 692, 593}},
        {LayoutForDpi(96, true).choose, {48, 347, 176, 389}}, {at125.choose, {680, 434, 840, 486}},
        {at125.deleteSources, {35, 526, 865, 556}}, {paint.card, {42, 497, 1038, 608}},
        {paintRtl.card, {42, 497, 1038, 608}}, {paint.icon, {69, 528, 117, 576}},
        {paintRtl.icon, {963, 528, 1011, 576}}, {paintRtl.heading, {423, 452, 1038, 488}},
        {paintRtl.formatLabel, {42, 452, 282, 488}}, {banner.rings[0], {517, -97, 747, 133}},
        {ProgressFillFor(2.0, 96, false).rect, {28, 517, 692, 523}}, {rtl.rings[0], {-83, -97, 147, 133}},
        {ProgressFillFor(1.0 / 10e9, 96, false).rect, {28, 517, 32, 523}}, {banner.badge, {598, 14, 640, 56}},
        {ProgressFillFor(0.5, 96, true).rect, {360, 517, 692, 523}}, {rtl.rings[2], {-163, -177, 227, 213}},
        {BannerTextRectsFor(96, false).rects[0], {24, 18, 544, 47}},
        {BannerTextRectsFor(96, true).rects[0], {120, 18, 640, 47}},
        {BannerTextRectsFor(96, true).rects[5], {24, 211, 640, 246}},
    };
    // clang-format on
    for (std::size_t i = 0; i < std::size(rects); ++i) {
        EXPECT_EQ(rects[i].first, rects[i].second) << "rect " << i;
    }
    EXPECT_TRUE(ProgressFillFor(1.0 / 10e9, 96, false).visible);
    EXPECT_FALSE(ProgressFillFor(0.0, 96, false).visible || ProgressFillFor(-1.0, 96, false).visible);
    const BannerShapes at144 = BannerShapesFor(144, false, 0.0f, true);
    const float gradient[] = {banner.gradientFrom.x, banner.gradientTo.x, rtl.gradientFrom.x,
                              rtl.gradientTo.x};
    EXPECT_EQ(std::vector<float>(gradient, gradient + 4), (std::vector<float>{0, 664, 664, 0}));
    EXPECT_EQ(std::make_tuple(at144.badgePenWidth, at144.arrowPenWidth, at144.ringPenWidth),
              std::make_tuple(1.5f, 3.0f, 2));
    // The arrow points outward, up and right (left when mirrored), and drifts on hover only with animations.
    const std::pair<PointF, std::pair<float, float>> arrow[] = {
        {banner.arrowLine[0], {612.5f, 40.5f}},
        {banner.arrowLine[1], {624.5f, 28.5f}},
        {rtl.arrowLine[0], {50.5f, 40.5f}},
        {rtl.arrowLine[1], {38.5f, 28.5f}},
        {BannerShapesFor(96, false, 1.0f, true).arrowLine[0], {614.0f, 39.0f}},
        {BannerShapesFor(96, false, 1.0f, false).arrowLine[0], {612.5f, 40.5f}},
        {BannerShapesFor(96, true, 1.0f, true).arrowLine[0], {49.0f, 39.0f}}};
    for (std::size_t i = 0; i < std::size(arrow); ++i) {
        EXPECT_EQ(std::make_pair(arrow[i].first.x, arrow[i].first.y), arrow[i].second) << "arrow " << i;
    }
}

TEST(PanelGradientFor, HoverBrightensAndPressingDarkens) {
    // clang-format off
    const std::tuple<float, bool, int, Rgb, Rgb> cases[] = {
        {0.0f, false, 0, {21, 24, 33}, {64, 25, 39}}, {1.0f, false, 8, {29, 32, 41}, {72, 33, 47}},
        {0.0f, true, -5, {16, 19, 28}, {59, 20, 34}}, {0.5f, false, 4, {25, 28, 37}, {68, 29, 43}},
        {0.5f, true, -1, {20, 23, 32}, {63, 24, 38}},
        {0.0625f, false, 1, {22, 25, 34}, {65, 26, 40}}, // 0.5 rounds away from zero
    };
    // clang-format on
    for (const auto& [hover, pressed, shift, start, end] : cases) {
        SCOPED_TRACE(testing::Message() << hover << (pressed ? " pressed" : ""));
        EXPECT_EQ(PanelShift(hover, pressed), shift);
        const PanelGradient g = PanelGradientFor(hover, pressed);
        EXPECT_EQ(std::make_pair(g.start, g.end), std::make_pair(start, end));
    }
}

TEST(HoverFade, EasesFor150MillisecondsAndReversesFromWhereItStands) {
    HoverFade fade{1.0f, 0.0f, 0.0f, 1000};
    // t = 0, 0.5, 0.2 (0.04 * 2.6), 0.8, the end and long after it.
    const std::tuple<std::uint64_t, float, bool> steps[] = {{1000, 0.0f, false},   {1075, 0.5f, false},
                                                            {1030, 0.104f, false}, {1120, 0.896f, false},
                                                            {1150, 1.0f, true},    {5000, 1.0f, true}};
    for (const auto& [now, level, finished] : steps) {
        EXPECT_NEAR(HoverLevelAt(fade, now).level, level, 1e-5) << now;
        EXPECT_EQ(HoverLevelAt(fade, now).finished, finished) << now;
    }
    fade = HoverFade{};
    EXPECT_EQ(RetargetHover(fade, false, 500, true).start, HoverStart::Unchanged); // the same target
    EXPECT_EQ(fade.hoverStartTick, 0u);
    ASSERT_EQ(RetargetHover(fade, true, 10000, true).start, HoverStart::Animate);
    EXPECT_EQ(std::make_pair(fade.hoverTarget, fade.hoverLevel), std::make_pair(1.0f, 0.0f));
    const HoverRetarget back = RetargetHover(fade, false, 10075, true);
    EXPECT_EQ(std::make_tuple(back.start, back.fadeTimerStopped, fade.hoverTarget, fade.hoverStartTick),
              std::make_tuple(HoverStart::Animate, false, 0.0f, 10075u));
    EXPECT_NEAR(fade.hoverLevel, 0.5f, 1e-5);
    EXPECT_NEAR(fade.hoverFrom, 0.5f, 1e-5);
    EXPECT_NEAR(HoverLevelAt(fade, 10150).level, 0.25f, 1e-5);
    // A finished fade stops its timer, and without animations the level jumps.
    EXPECT_TRUE(RetargetHover(fade, true, 10300, true).fadeTimerStopped);
    EXPECT_EQ(fade.hoverFrom, 0.0f);
    HoverFade still;
    EXPECT_EQ(RetargetHover(still, true, 10000, false).start, HoverStart::Jump);
    EXPECT_EQ(still.hoverLevel, 1.0f);
    // A failed read of the setting keeps the last known value.
    bool enabled = true;
    // clang-format off
    const std::tuple<bool, bool, bool, bool> reads[] = {
        {false, false, true, true}, {true, false, false, false}, {false, true, false, false}, {true, true, true, true}};
    // clang-format on
    for (const auto& [readOk, value, animate, after] : reads) {
        EXPECT_EQ(ShouldAnimate({readOk, value}, enabled), animate);
        EXPECT_EQ(enabled, after);
    }
}

TEST(WindowView, ControlsActionAndCloseFollowTheState) {
    using enum VisibleState;
    using enum TextKey;
    using enum ActionCommand;
    using enum CloseCommand;
    // The earlier flag wins: a batch over a done state, converting over both. Columns: the state, whether
    // a cancel was asked for, what shows, the controls' look, what the action button and closing do.
    using Row = std::tuple<const char*, MainWindowState, bool, VisibleState, ControlLook, ActionCommand,
                           CloseCommand>;
    // clang-format off
    const Row cases[] = {
        {"empty", With({}, {}), false, Empty, {true, true, false, TextConvertToNsp}, ChooseNszFiles,
         DestroyNow},
        {"ready", With({}), false, Ready, {true, true, true, TextConvertToNsp}, StartBatch, DestroyNow},
        {"converting", With({&S::isConverting, &S::batchActive, &S::showDone}), false, Converting,
         {false, false, true, TextCancel}, RequestCancel, CancelThenDestroy},
        {"cancelling", With({&S::isConverting, &S::batchActive}), true, Cancelling,
         {false, false, false, TextCancel}, RequestCancel, CancelThenDestroy},
        {"between files", With({&S::batchActive, &S::showDone}), false, BetweenFiles,
         {false, false, true, TextCancel}, Nothing, DestroyAfterQuestion},
        {"done", With({&S::showDone}), false, Done, {true, true, true, TextOpenFolder}, OpenOutputFolder,
         DestroyNow},
        {"closing", With({&S::isConverting, &S::batchActive, &S::closeRequested}), true, Closing,
         {false, false, false, TextCancel}, RequestCancel, CancelThenDestroy},
    };
    // clang-format on
    const auto fields = [](const ControlLook& l) {
        return std::make_tuple(l.chooseEnabled, l.deleteSourcesEnabled, l.actionEnabled, l.actionCaption);
    };
    for (const auto& [name, state, cancel, visible, look, action, close] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(VisibleStateOf(state, cancel), visible);
        EXPECT_EQ(fields(ControlLookFor(visible)), fields(look));
        EXPECT_EQ(ActionFor(state), action);
        EXPECT_EQ(CloseFor(state), close);
    }
}

TEST(WindowView, StatusLineAndProgressBar) {
    using enum StatusColour;
    const std::uint64_t gib = 1ull << 30;
    // The bar never reads 100 % while converting; after a one-file batch that failed at 40 % it stays.
    // Columns: the state, the progress, the status line's text and colour, the bar's fraction and done look.
    // clang-format off
    const std::tuple<MainWindowState, ProgressSnapshot, std::wstring, StatusColour, double, bool> cases[] = {
        {With({&S::isConverting}), {0, 0, 0, false}, L"status", Secondary, 0.0, false},
        {With({&S::isConverting}), {gib * 3 / 2, gib * 3, 0, false}, L"Converting…  1.5 GB / 3.0 GB",
         Secondary, 0.5, false},
        {With({&S::isConverting}), {gib, gib, 1, false}, L"Finishing save…", Secondary, 0.99, false},
        {With({&S::isConverting}), {20, 10, 0, true}, L"status", Secondary, 0.99, false},
        {With({}), {5, 10, 0, false}, L"status", Secondary, 0.5, false},
        {With({&S::showError}), {40, 100, 0, false}, L"status", Error, 0.4, false},
        {With({&S::showDone}), {}, L"status", Done, 1.0, true},
        {With({&S::showDone, &S::showWarning}), {}, L"status", Warning, 1.0, true},
        {With({&S::showDone, &S::showWarning, &S::showError}), {}, L"status", Error, 1.0, true},
        {With({&S::showDone, &S::isConverting}), {}, L"status", Done, 0.99, true},
    };
    // clang-format on
    for (const auto& [state, progress, text, colour, fraction, done] : cases) {
        SCOPED_TRACE(testing::Message() << progress.written << " of " << progress.total << ", " << fraction);
        EXPECT_EQ(StatusLineFor(state, progress).text, text);
        EXPECT_EQ(StatusLineFor(state, progress).colour, colour);
        EXPECT_DOUBLE_EQ(ProgressBarFor(state, progress).fraction, fraction);
        EXPECT_EQ(ProgressBarFor(state, progress).done, done);
    }
}

TEST(WindowView, CardTitlesAndSubtitles) {
    // The selection, the file being shown and whether a batch runs (at its second file).
    const auto card = [](std::vector<std::wstring> files, std::wstring source, bool batch) {
        MainWindowState state = With({}, files);
        state.currentSource = std::move(source);
        state.currentFileSize = 1363149;
        state.batchActive = batch;
        state.batch.files = std::move(files);
        state.batch.index = 1;
        const CardTexts texts = CardFor(state);
        return std::make_tuple(texts.hasSource, texts.title, texts.subtitle);
    };
    const std::vector<std::wstring> three = {L"C:\\d\\a.nsz", L"C:\\d\\b.nsz", L"C:\\d\\c.nsz"};
    EXPECT_EQ(card({}, L"", false), std::make_tuple(false, L"Choose NSZ files"s, L""s));
    EXPECT_EQ(card({L"C:\\d\\game.nsz"}, L"C:\\d\\game.nsz", false),
              std::make_tuple(true, L"game.nsz"s, L"NSZ  ·  1.3 MB"s));
    EXPECT_EQ(card(three, L"C:\\d\\a.nsz", false),
              std::make_tuple(true, L"Selected files: 3"s, L"NSZ  →  NSP"s));
    EXPECT_EQ(card(three, L"C:\\d\\b.nsz", true), std::make_tuple(true, L"b.nsz"s, L"File 2 / 3"s));
}

TEST(Intake, TakesNszFilesAndFoldersOneLevelDeepUnlessABatchRuns) {
    using Paths = std::vector<std::wstring>;
    const std::wstring longName = L"C:\\" + std::wstring(300, L'd') + L"\\Игра 1.NsZ";
    // C:\drop holds two NSZ files (one in capitals) and a text file; C:\empty holds nothing.
    using enum PathKind;
    const std::map<std::wstring, PathKind> kinds = {{L"C:\\one.nsz", File},     {L"C:\\readme.txt", File},
                                                    {L"C:\\drop\\b.nsz", File}, {longName, File},
                                                    {L"C:\\drop", Folder},      {L"C:\\empty", Folder}};
    const PathLookup disk{
        [&](const std::wstring& path) { return kinds.contains(path) ? kinds.at(path) : Missing; },
        [](const std::wstring& folder) {
            return folder == L"C:\\drop" ? Paths{L"b.nsz", L"notes.txt", L"A.NSZ"} : Paths{};
        }};
    const std::pair<Paths, Paths> cases[] = {
        {{L"C:\\one.nsz", L"C:\\drop", L"C:\\readme.txt"},
         {L"C:\\one.nsz", L"C:\\drop\\A.NSZ", L"C:\\drop\\b.nsz"}},
        {{L"C:\\drop\\b.nsz", L"C:\\drop"}, {L"C:\\drop\\b.nsz", L"C:\\drop\\A.NSZ"}},
        {{L"C:\\readme.txt", L"C:\\gone.nsz", L"C:\\empty"}, {}},
        {{longName}, {longName}},
    };
    for (const auto& [paths, taken] : cases) {
        EXPECT_EQ(NszFilesAmong(paths, disk), taken) << paths.size() << " paths, " << paths.front().size();
    }
    MainWindowState idle = With({&S::showDone}, {L"C:\\kept.nsz"});
    EXPECT_EQ(IntakeFor(idle, {L"C:\\a.nsz"}), IntakeCommand::Select);
    EXPECT_EQ(IntakeFor(idle, {}), IntakeCommand::NothingTaken);
    for (bool S::*busy : {&S::batchActive, &S::isConverting, &S::closeRequested}) {
        EXPECT_EQ(IntakeFor(With({busy}), {L"C:\\a.nsz"}), IntakeCommand::Refuse);
    }
    ApplyNothingTaken(idle);
    EXPECT_EQ(idle.selectedFiles, Paths{L"C:\\kept.nsz"});
    EXPECT_EQ(idle.statusText, L"No NSZ files among these items. The selection is unchanged.");
    EXPECT_TRUE(idle.showError && idle.showDone);
}

TEST(TaskbarLookFor, FollowsTheBatch) {
    // A batch of four at its second file unless it has ended.
    const auto batch = [](std::initializer_list<bool S::*> flags, std::uint64_t failed, std::uint64_t kept) {
        MainWindowState state = With(flags, {L"1", L"2", L"3", L"4"});
        state.batch = {state.selectedFiles, {}, 1, 0, failed, kept};
        return state;
    };
    const auto converting = {&S::batchActive, &S::isConverting};
    const ProgressSnapshot half{500, 1000, 0, false};
    using enum TaskbarMode;
    const std::tuple<const char*, MainWindowState, ProgressSnapshot, bool, TaskbarLook> cases[] = {
        {"converting", batch(converting, 0, 0), half, false, {Normal, 1500, 4000}},
        {"99 % at most", batch(converting, 0, 0), {1000, 1000, 1, false}, false, {Normal, 1990, 4000}},
        {"cancelling", batch(converting, 0, 0), {500, 1000, 0, true}, false, {Paused, 1500, 4000}},
        {"after a failed file", batch(converting, 1, 0), half, false, {Error, 1500, 4000}},
        {"folder question", batch({&S::batchActive}, 0, 0), half, false, {Paused, 1000, 4000}},
        {"error dialog at the end", batch({}, 1, 0), {}, true, {Error, 1, 1}},
        {"kept-source question", batch({}, 0, 1), {}, true, {Paused, 1, 1}},
        {"ended", batch({}, 1, 0), {}, false, {}},
        {"nothing went wrong", batch({}, 0, 0), {}, true, {}},
    };
    for (const auto& [name, state, progress, endDialogOpen, look] : cases) {
        EXPECT_TRUE(TaskbarLookFor(state, progress, endDialogOpen) == look) << name;
    }
}

} // namespace
} // namespace vesko
