// Any stream of unsolicited messages into a tuning dialog's scope while it captures:
// each message is taken, dropped as malformed or left to another handler, and no
// length in it makes the scope read past the message it came in.
//
// Input: five bytes of capture settings (variables, trigger mode, slope and variable,
// pretrigger, window, level), then messages, each a 16-bit word count (low byte
// first) and that many words; the last is cut where the input ends. Every message
// sits in a heap block of exactly its length, so a read past it is caught.
#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "tests/drive/drive_fixture.h"
#include "tuning/scope_feed.h"

namespace {

drive_test::SimBench* bench = nullptr;
CGraphWindow* graph = nullptr;

struct Message {
    std::unique_ptr<std::uint16_t[]> words;
    std::size_t count;
};

// Splits the input after the settings into messages.
std::vector<Message> Messages(const std::uint8_t* data, std::size_t size) {
    std::vector<Message> out;
    std::size_t at = 0;
    while (at + 2 <= size) {
        std::size_t count = data[at] | static_cast<std::size_t>(data[at + 1]) << 8;
        at += 2;
        count = std::min(count, (size - at) / 2);
        Message m{std::unique_ptr<std::uint16_t[]>(new std::uint16_t[count]), count};
        std::memcpy(m.words.get(), data + at, 2 * count);
        at += 2 * count;
        out.push_back(std::move(m));
    }
    return out;
}

// One capture with the settings in data[0..4], fed the messages that follow.
void Capture(const std::uint8_t* data, std::size_t size) {
    static const char* const kVariables[] = {"AD5", "MER", "var_u2"};
    static const int kModes[] = {1, 2, 4, 2};
    CMC_ScopeLogger scope(bench->setup.get(), nullptr);
    const int variables = 1 + data[0] % 3;
    for (int i = 0; i < variables; ++i) scope.AddVariable(kVariables[i]);
    const int mode = kModes[(data[0] >> 2) & 3];
    const char* trigger = (data[0] >> 4) % 4 < variables ? kVariables[(data[0] >> 4) % 4] : nullptr;
    const double window_s = (1 + data[2]) * 1e-4;  // up to 25.6 ms: at most 25600 points
    const double level = static_cast<std::int8_t>(data[3]) * 256.0 + data[4];
    if (!scope.ChangeSettings(window_s, mode, data[0] >> 7, trigger, level, data[1] % 101))
        std::abort();
    for (int i = 0; i < variables; ++i)
        scope.GetGraphDocument().GetAt(0)->Add(CXYCurve(0, i + 1, 1, i));
    graph->SubclassDlgItem(nullptr, scope.GetGraphDocument().GetAt(0));
    orvex::tuning::ScopeFeed feed(scope, *graph);
    if (scope.BeginUploadData() != 1) std::abort();

    unsigned frames = 0;
    for (const Message& m : Messages(data + 5, size - 5)) {
        const int r = feed.OnMessage(m.words.get(), m.count);
        const bool tagged = m.count >= 3 && m.words[2] == CMC_ScopeLogger::kFrameTag;
        if (tagged ? r != 0 : r != CMC_ScopeLogger::kFrameTag) std::abort();
        if (tagged) ++frames;
        if (scope.GetPointsNo() > CMC_ScopeLogger::kMaxPoints) std::abort();
    }
    if (scope.GetDroppedFrames() > frames) std::abort();
    if (scope.EndUploadData() != 1) std::abort();
    // The capture as Save and the point reader see it.
    unsigned read = 0;
    while (scope.ReadPoint()) ++read;
    if (read > scope.GetPointsNo()) std::abort();
    // The batched redraw and the replot it queues are the dialog's event loop's to run.
    // Painting is not what is tried here (a curve far off its axis takes 0.1 s to
    // rasterise), so they are discarded rather than left to pile up input after input.
    QCoreApplication::removePostedEvents(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    bench = new drive_test::SimBench;
    graph = new CGraphWindow;
    // One whole capture first, so that what Qt and the drive set up once for the
    // process is not taken for a leak of the first input.
    const std::uint8_t warm_up[] = {0, 0, 0, 0, 0, 11, 0,  8, 0, 0, 0, 0x00, 0xE9, 1, 0,
                                    1, 0, 0, 0, 0, 0,  50, 0, 0, 0, 7, 0,    0,    0};
    Capture(warm_up, sizeof warm_up);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    Capture(data, size);
    return 0;
}
