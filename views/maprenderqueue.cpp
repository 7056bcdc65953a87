#include "views/maprenderqueue.h"

#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "views/maplabelcache.h"

#include <QPainter>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The rows of band `band` of `bands` in a picture `height` pixels high.
QRect BandRect(const QSize& size, int band, int bands) {
    const int top = band * size.height() / bands;
    const int bottom = (band + 1) * size.height() / bands;
    return QRect(0, top, size.width(), bottom - top);
}

// Draws one band of the request into `target` (the whole picture's image); decluttered labels
// come from `placement`, shared by the picture's bands. Returns false when the paint was stopped
// by `cancel`.
bool RenderBand(const CMapRenderRequest& request, QImage& target, int band, int bands,
                CMapLabelCache& labels, CLabelPlacementSlot& placement,
                const std::atomic<bool>* cancel, std::vector<CMeasuredSize>& sizes) {
    const QRect rows = BandRect(request.size, band, bands);
    if (rows.isEmpty() || !request.display)
        return true;
    const CDrawingObjects objects(*request.display);
    QPainter painter(&target);
    CMapRenderer renderer(request.scene, objects, request.viewFlags);
    labels.BeginPicture();
    renderer.SetLabelCache(&labels);
    renderer.SetTracking(request.tracking);
    renderer.SetExcluded(request.excluded);
    renderer.SetCancel(cancel);
    renderer.SetPlacementSlot(&placement);
    if (request.kind == CMapRenderRequest::kMap) {
        renderer.PaintMap(painter, request.world, request.size, rows, true);
    } else {
        painter.setClipRect(rows);
        renderer.DrawOverviewNodes(painter, request.size);
    }
    painter.end();
    labels.Trim();
    sizes = renderer.MeasuredSizes();
    return !renderer.WasCancelled();
}

// The area a node's label and dot may cover with the given label size (as the renderer culls).
QRectF NodeExtent(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  int diameter) {
    const double left = std::min({x, x + width});
    const double right = std::max({x + width, x + diameter});
    const double top = std::min({y, y + height});
    const double bottom = std::max({y + height, y + diameter});
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

// Whether a measured size makes the node reach into a band that culled it by its old size.
bool MissedByABand(const CMapRenderRequest& request, int bands, const CMeasuredSize& size) {
    const CMapScene& scene = *request.scene;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    int diameter = 0;
    scene.DotOf(size.node, x, y, diameter);
    if (size.node.kind == CMapScene::CNodeRef::kWord) {
        width = scene.Word(size.node.slot).width;
        height = scene.Word(size.node.slot).height;
    } else if (size.node.kind == CMapScene::CNodeRef::kSite) {
        width = scene.Site(size.node.slot).width;
        height = scene.Site(size.node.slot).height;
    } else {
        const CMapScene::CLink& link = (*scene.Site(size.node.slot).links)[size.node.link];
        width = link.width;
        height = link.height;
    }
    const QTransform toDevice = CMapRenderer::MapTransform(request.world, request.size);
    // Two device pixels of margin, as a paint draws whatever comes that near.
    const QRectF before =
        toDevice.mapRect(NodeExtent(x, y, width, height, diameter)).adjusted(-2, -2, 2, 2);
    const QRectF after = toDevice.mapRect(NodeExtent(x, y, size.width, size.height, diameter))
                             .adjusted(-2, -2, 2, 2);
    for (int band = 0; band < bands; ++band) {
        const QRectF rows = BandRect(request.size, band, bands);
        if (after.intersects(rows) && !before.intersects(rows))
            return true;
    }
    return false;
}

bool IsComplete(const CMapRenderRequest& request, int bands,
                const std::vector<CMeasuredSize>& sizes) {
    return request.kind != CMapRenderRequest::kMap ||
           std::none_of(sizes.begin(), sizes.end(), [&](const CMeasuredSize& size) {
               return MissedByABand(request, bands, size);
           });
}

void MergeSizes(std::vector<CMeasuredSize>& into, std::vector<CMeasuredSize>& band) {
    if (into.empty()) {
        into = std::move(band);
        return;
    }
    // A node drawn in two bands is measured the same in both.
    into.insert(into.end(), band.begin(), band.end());
}

} // namespace

// A picture being drawn: the workers each draw their band into `image` through `bits`.
struct CMapRenderQueue::CJob {
    CMapRenderRequest request;
    QImage image;
    uchar* bits = nullptr;
    std::atomic<bool> cancel{false};
    std::atomic<int> bandsLeft{0};
    std::vector<std::vector<CMeasuredSize>> sizes; // one list per band
    std::vector<char> finished;                    // per band: drawn whole
    CLabelPlacementSlot placement;                 // decluttered labels, placed once
};

struct CMapRenderQueue::CWorker {
    int index = 0;
    std::uint64_t seen = 0; // the generation of the last job taken
    CMapLabelCache labels;
    std::thread thread;
};

CMapRenderQueue::CMapRenderQueue(int bands, QObject* parent) : QObject(parent) {
    const int count = std::max(1, bands);
    for (int i = 0; i < count; ++i) {
        auto worker = std::make_unique<CWorker>();
        worker->index = i;
        m_workers.push_back(std::move(worker));
    }
    for (auto& worker : m_workers)
        worker->thread = std::thread([this, w = worker.get()] { WorkerLoop(w); });
}

CMapRenderQueue::~CMapRenderQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        if (m_running)
            m_running->cancel = true;
    }
    m_wake.notify_all();
    for (auto& worker : m_workers)
        worker->thread.join();
    // The job and its scene go here, on the window's thread.
    m_running.reset();
}

void CMapRenderQueue::Request(CMapRenderRequest request, bool stopRunning) {
    m_waiting = std::move(request);
    if (m_running && stopRunning)
        m_running->cancel = true;
    StartWaiting();
}

void CMapRenderQueue::Cancel() {
    m_waiting.reset();
    if (m_running)
        m_running->cancel = true;
}

void CMapRenderQueue::StartWaiting() {
    if (m_running || !m_waiting)
        return;
    CMapRenderRequest request = std::move(*m_waiting);
    m_waiting.reset();
    if (request.size.isEmpty() || !request.scene || !request.display)
        return;
    auto job = std::make_unique<CJob>();
    job->request = std::move(request);
    job->image = QImage(job->request.size, QImage::Format_RGB32);
    if (job->image.isNull())
        return;
    job->bits = job->image.bits();
    const int bands = static_cast<int>(m_workers.size());
    job->bandsLeft = bands;
    job->sizes.resize(static_cast<std::size_t>(bands));
    job->finished.assign(static_cast<std::size_t>(bands), 0);
    m_running = std::move(job);
    {
        std::lock_guard lock(m_mutex);
        m_current = m_running.get();
        ++m_generation;
    }
    m_wake.notify_all();
}

void CMapRenderQueue::WorkerLoop(CWorker* worker) {
    // Pictures are drawn behind the window: when the cores are short, the window's thread goes
    // first. A refusal only leaves the worker at the usual priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    const int bands = static_cast<int>(m_workers.size());
    for (;;) {
        CJob* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock,
                        [&] { return m_quit || (m_current && worker->seen != m_generation); });
            if (m_quit)
                return;
            job = m_current;
            worker->seen = m_generation;
        }
        // Every worker paints through its own image over the one buffer: a paint device takes one
        // painter at a time, and the bands' rows do not overlap.
        const CMapRenderRequest& request = job->request;
        QImage view(job->bits, request.size.width(), request.size.height(),
                    job->image.bytesPerLine(), QImage::Format_RGB32);
        const auto band = static_cast<std::size_t>(worker->index);
        const bool whole = job->cancel
                               ? false
                               : RenderBand(request, view, worker->index, bands, worker->labels,
                                            job->placement, &job->cancel, job->sizes[band]);
        job->finished[band] = whole ? 1 : 0;
        if (job->bandsLeft.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            // Handed over through the mutex, so that the window's thread sees every band's
            // writes through a lock the sanitizers understand; the call carries no data.
            {
                std::lock_guard lock(m_mutex);
                m_finished = job;
            }
            QMetaObject::invokeMethod(this, "TakeFinishedJob", Qt::QueuedConnection);
        }
    }
}

void CMapRenderQueue::TakeFinishedJob() {
    CJob* job = nullptr;
    {
        std::lock_guard lock(m_mutex);
        std::swap(job, m_finished);
    }
    if (job)
        OnJobDone(job);
}

void CMapRenderQueue::OnJobDone(CJob* job) {
    if (!m_running || m_running.get() != job)
        return;
    std::unique_ptr<CJob> done = std::move(m_running);
    {
        std::lock_guard lock(m_mutex);
        if (m_current == job)
            m_current = nullptr;
    }
    const bool whole = !done->cancel && std::all_of(done->finished.begin(), done->finished.end(),
                                                    [](char finished) { return finished != 0; });
    std::shared_ptr<CMapPicture> picture;
    if (whole) {
        picture = std::make_shared<CMapPicture>();
        picture->request = done->request;
        const int bands = static_cast<int>(done->sizes.size());
        // The picture needs nothing of the scene it was drawn from; letting go of it here keeps
        // the kept scene's parts unshared.
        picture->request.scene.reset();
        picture->image = std::move(done->image);
        for (auto& band : done->sizes)
            MergeSizes(picture->sizes, band);
        picture->complete = IsComplete(done->request, bands, picture->sizes);
    }
    done.reset();
    StartWaiting();
    if (picture)
        emit Finished(picture);
}

CMapPicture CMapRenderQueue::RenderNow(const CMapRenderRequest& request, int bands) {
    CMapPicture picture;
    picture.request = request;
    if (request.size.isEmpty() || !request.scene || !request.display)
        return picture;
    picture.image = QImage(request.size, QImage::Format_RGB32);
    CMapLabelCache labels;
    CLabelPlacementSlot placement;
    const int count = std::max(1, bands);
    for (int band = 0; band < count; ++band) {
        std::vector<CMeasuredSize> sizes;
        RenderBand(request, picture.image, band, count, labels, placement, nullptr, sizes);
        MergeSizes(picture.sizes, sizes);
    }
    picture.complete = IsComplete(request, count, picture.sizes);
    return picture;
}
