#include "browserlink/servedverbs.h"

#include "browserlink/browserlink.h"
#include "browserlink/browserlinkowner.h"
#include "browserlink/browserurlrules.h"
#include "browserlink/ddeitemtext.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <ctime>

namespace {

// Texts the program keeps are limited to 8,191 bytes.
constexpr size_t kMaxTextLength = 8191;

uint32_t CurrentTime() {
    return static_cast<uint32_t>(std::time(nullptr));
}

void TakeEchoedUrl(CBrowserLink& link, HSZ item) {
    const std::vector<DdeValue> values = link.ParseItemString(item, "QCS,QCS,DW,QCS");
    const std::string url = DdeTextAt(values, 0);
    const std::string mimeType = DdeTextAt(values, 1);
    CBrowserLinkOwner* owner = link.Owner();
    if (!owner || url.empty() || url.size() > kMaxTextLength)
        return;
    if (!IsEchoedPageType(mimeType) || IsImageUrl(url) || !owner->IsActiveMode())
        return;
    if (owner->IsNewUrl(url))
        owner->StartAddUrl(url);
}

} // namespace

std::string MakeViewerFileName() {
    const QString folder = QDir::tempPath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return "/delme.nst";
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = QStringLiteral("nstest");
        for (int i = 0; i < 6; ++i)
            name += QChar(kLetters[QRandomGenerator::global()->bounded(36)]);
        const QString path = QDir(folder).filePath(name);
        if (!QFileInfo::exists(path))
            return path.toStdString();
    }
    return "/delme.nst";
}

HDDEDATA ServeBrowserRequest(CBrowserLink& link, CDdeConversation& conversation, int topic,
                             HSZ item) {
    switch (topic) {
    case kTopicAlert:
        link.ParseItemString(item, "QCS,DW,DW");
        return link.BuildReplyData(&conversation, "DW", {0u});
    case kTopicBeginProgress:
        link.ParseItemString(item, "DW,QCS");
        return link.BuildReplyData(&conversation, "DW", {CurrentTime()});
    case kTopicMakingProgress:
        link.ParseItemString(item, "DW,QCS,DW");
        return link.BuildReplyData(&conversation, "BL", {false});
    case kTopicOpenURL:
        // The program shows nothing itself; the browser only learns that it answered.
        link.ParseItemString(item, "QCS,QCS,DW,DW,QCS,QCS,CS");
        return link.BuildReplyData(&conversation, "DW", {CurrentTime()});
    case kTopicQueryViewer:
        link.ParseItemString(item, "QCS,QCS");
        return link.BuildReplyData(&conversation, "QCS", {MakeViewerFileName()});
    default:
        return {};
    }
}

uint32_t ServeBrowserPoke(CBrowserLink& link, CDdeConversation&, int topic, HSZ item) {
    switch (topic) {
    case kTopicURLEcho:
        TakeEchoedUrl(link, item);
        return DDE_FACK;
    case kTopicEndProgress:
    case kTopicSetProgressRange:
    case kTopicViewDocFile:
    case kTopicWindowChange:
        return DDE_FACK;
    default:
        return DDE_FNOTPROCESSED;
    }
}
