// Wayfold Bridge: keeps a native-messaging connection to the "wayfold_bridge" host, tells it
// which page each tab shows, and opens or focuses a tab when the host asks. The host passes
// the pages on to Wayfold, which maps them.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;

const HOST = "wayfold_bridge";
const FOLLOWED_SCHEMES = ["http:", "https:", "file:"];
const MAX_TITLE_LENGTH = 2000;
const FIRST_RETRY_MS = 1000;
const LAST_RETRY_MS = 60000;
// A connection that lasted this long was a working one: the next retry starts quickly again.
const STEADY_MS = 30000;

let port = null;
let connectedAt = 0;
let retryMs = FIRST_RETRY_MS;
let retryTimer = null;

function isFollowed(url) {
  try {
    return FOLLOWED_SCHEMES.includes(new URL(url).protocol);
  } catch {
    return false;
  }
}

function send(message) {
  if (!port) return;
  try {
    port.postMessage(message);
  } catch (error) {
    // The port is gone; its onDisconnect reconnects.
  }
}

function pageOf(tab) {
  return {
    tabId: tab.id,
    url: tab.url,
    title: (tab.title ?? "").slice(0, MAX_TITLE_LENGTH),
    active: Boolean(tab.active),
  };
}

// A page that finished loading before the connection opened (or before this script started)
// would otherwise never be reported.
async function reportOpenTabs() {
  try {
    const tabs = await api.tabs.query({});
    const loaded = tabs.filter((tab) => tab.status === "complete" && isFollowed(tab.url));
    send({ type: "tabs", tabs: loaded.map(pageOf) });
  } catch (error) {
    console.warn("Wayfold Bridge: cannot list the open tabs:", error);
  }
}

function scheduleReconnect() {
  if (retryTimer !== null) return;
  if (Date.now() - connectedAt > STEADY_MS) retryMs = FIRST_RETRY_MS;
  retryTimer = setTimeout(connect, retryMs);
  retryMs = Math.min(retryMs * 2, LAST_RETRY_MS);
}

function connect() {
  retryTimer = null;
  if (port) return;
  try {
    port = api.runtime.connectNative(HOST);
  } catch (error) {
    console.warn("Wayfold Bridge: cannot start the host:", error);
    port = null;
    scheduleReconnect();
    return;
  }
  connectedAt = Date.now();
  port.onMessage.addListener(onHostMessage);
  port.onDisconnect.addListener((closed) => {
    const why = closed?.error?.message ?? api.runtime.lastError?.message ?? "";
    console.warn("Wayfold Bridge: the host connection closed.", why);
    if (port === closed) port = null;
    scheduleReconnect();
  });
  reportOpenTabs();
}

async function focusTab(tab) {
  try {
    await api.windows.update(tab.windowId, { focused: true });
  } catch {
    // Some windows cannot take the focus (a headless browser has none to give).
  }
}

async function onHostMessage(message) {
  try {
    if (message?.type === "open" && typeof message.url === "string" && isFollowed(message.url)) {
      await focusTab(await api.tabs.create({ url: message.url, active: true }));
    } else if (message?.type === "focus" && Number.isInteger(message.tabId)) {
      await focusTab(await api.tabs.update(message.tabId, { active: true }));
    }
  } catch (error) {
    console.warn("Wayfold Bridge: cannot do what the host asked:", message, error);
  }
}

api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (change.status === "complete") {
    // A tab that leaves the web (a settings page, say) no longer shows a page to report.
    if (isFollowed(tab.url)) send({ type: "page", ...pageOf(tab) });
    else send({ type: "closed", tabId });
  } else if (change.title !== undefined && tab.status === "complete" && isFollowed(tab.url)) {
    send({ type: "title", tabId, title: change.title.slice(0, MAX_TITLE_LENGTH) });
  }
});

api.tabs.onRemoved.addListener((tabId) => send({ type: "closed", tabId }));

// A prerendered page can take the place of a tab under a new id.
api.tabs.onReplaced.addListener(async (addedTabId, removedTabId) => {
  send({ type: "closed", tabId: removedTabId });
  try {
    const tab = await api.tabs.get(addedTabId);
    if (tab.status === "complete" && isFollowed(tab.url)) send({ type: "page", ...pageOf(tab) });
  } catch {
    // The tab is gone again.
  }
});

// Listening here wakes the background script when the browser starts.
api.runtime.onStartup.addListener(() => connect());

connect();
