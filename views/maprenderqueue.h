#pragma once

#include "model/rect.h"
#include "views/maprenderer.h"
#include "views/mapscene.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CSettings;

// One picture of a map to draw off the window's thread.
struct CMapRenderRequest {
    enum EKind { kMap, kOverview };
    EKind kind = kMap;
    std::shared_ptr<const CMapScene> scene;
    // The colours and fonts: every worker makes its own pens and fonts from them, as a font may
    // not be shared between threads.
    std::shared_ptr<const CSettings> display;
    std::int32_t viewFlags = 0;
    CRect world; // the linkage map's world rectangle (kMap)
    QSize size;  // pixels
    bool tracking = false;
    std::vector<CMapScene::CNodeRef> excluded; // left out, to be drawn over the picture
    std::uint64_t version = 0; // the caller's marks of the scene and of the colours and fonts
    std::uint64_t displayMark = 0;
};

// A finished picture with the request it answers and the label sizes its paint measured.
struct CMapPicture {
    CMapRenderRequest request;
    QImage image;
    std::vector<CMeasuredSize> sizes;
    // False when a label measured larger than the scene had it reaches into a band that left
    // the node out by its smaller size: once the sizes are known, another picture is complete.
    bool complete = true;
};

// Draws map pictures on worker threads, one picture at a time, split into horizontal bands
// that the workers draw side by side. Requests coalesce: while a picture is being drawn, a new
// request waits, and a later one replaces it (the newest state wins); a picture that is no
// longer wanted stops early. Finished pictures are handed over on the window's thread.
class CMapRenderQueue : public QObject {
    Q_OBJECT
public:
    // `bands` workers (at least 1), each keeping the label lines it laid out.
    explicit CMapRenderQueue(int bands, QObject* parent = nullptr);
    // Stops the picture being drawn and waits for the workers.
    ~CMapRenderQueue() override;

    // Draws `request` next. With `stopRunning`, the picture being drawn now is dropped unfinished
    // (its request is out of date in a way that makes it useless, e.g. another size).
    void Request(CMapRenderRequest request, bool stopRunning);
    // Drops the waiting request and stops the picture being drawn.
    void Cancel();
    // True while nothing is being drawn or waiting.
    bool IsIdle() const { return !m_running && !m_waiting; }
    int Bands() const { return static_cast<int>(m_workers.size()); }

    // Draws a request at once on the calling thread, band by band as the workers would: the
    // reference the workers' pictures are compared with.
    static CMapPicture RenderNow(const CMapRenderRequest& request, int bands);

signals:
    // A picture is finished (window's thread).
    void Finished(const std::shared_ptr<const CMapPicture>& picture);

private:
    struct CJob;
    struct CWorker;

    void StartWaiting();
    // Called on the window's thread once a worker finished the last band of a job.
    Q_INVOKABLE void TakeFinishedJob();
    void OnJobDone(CJob* job);
    void WorkerLoop(CWorker* worker);

    std::vector<std::unique_ptr<CWorker>> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint64_t m_generation = 0; // guarded by m_mutex: the job the workers should draw
    CJob* m_current = nullptr;      // guarded by m_mutex
    CJob* m_finished = nullptr;     // guarded by m_mutex: every band drawn, not yet taken
    bool m_quit = false;            // guarded by m_mutex

    std::unique_ptr<CJob> m_running; // window's thread
    std::optional<CMapRenderRequest> m_waiting;
};
