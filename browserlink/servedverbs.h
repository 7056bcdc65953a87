#pragma once

#include "browserlink/ddeml.h"

#include <string>

class CBrowserLink;
class CDdeConversation;

// The verbs the program serves to the browsers. `topic` is the topic table index (-1 for a
// topic that is not in the table).

// Requests: WWW_Alert, WWW_BeginProgress, WWW_MakingProgress, WWW_OpenURL and WWW_QueryViewer
// are answered; every other topic gets no data. The data handle goes to the DDE layer.
HDDEDATA ServeBrowserRequest(CBrowserLink& link, CDdeConversation& conversation, int topic,
                             HSZ item);

// Pokes: WWW_URLEcho feeds the add-URL pipeline; WWW_EndProgress, WWW_SetProgressRange,
// WWW_ViewDocFile and WWW_WindowChange are taken without effect. Returns DDE_FACK for those,
// DDE_FNOTPROCESSED for every other topic.
uint32_t ServeBrowserPoke(CBrowserLink& link, CDdeConversation& conversation, int topic, HSZ item);

// A file name in the system's temporary folder for WWW_QueryViewer ("nstest" and a unique
// tail); "/delme.nst" when no name can be made.
std::string MakeViewerFileName();
