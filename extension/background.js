// Wayfold Bridge: keeps a native-messaging connection to the "wayfold_bridge" helper, tells it
// which page each tab shows once that page has loaded, and opens or focuses a tab when the
// helper asks. The helper passes the pages on to Wayfold, which maps them. The toolbar button
// shows whether the helper runs and whether Wayfold takes the pages.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;

const HOST = "wayfold_bridge";
const FOLLOWED_SCHEMES = ["http:", "https:", "file:"];
const MAX_TITLE_LENGTH = 2000;
// Retries stay frequent, so a helper that has just been installed or has stopped is back
// within seconds; a failed start costs the browser no more than reading one small file.
const FIRST_RETRY_MS = 500;
const LAST_RETRY_MS = 3000;
// Firefox marks an error page only by its icon, which it sets a moment after the page has
// loaded: tabs that loaded before this script ran are looked at after this pause.
const SETTLE_MS = 1000;
// A browser stops an idle background script, and its timers with it; an alarm wakes it again.
const RETRY_ALARM = "wayfold-retry";
const RETRY_ALARM_MINUTES = 0.5;

// What the toolbar button shows: its badge and, after "Wayfold Bridge: ", its tooltip.
const STATES = {
  starting: { badge: "…", color: "#6b6b6b", hint: "starting the helper…" },
  connected: {
    badge: "on",
    color: "#1e7d32",
    hint: "connected to Wayfold. The pages you open appear in Wayfold while its Active Mode is on.",
  },
  noWayfold: {
    badge: "off",
    color: "#6b6b6b",
    hint: 'Wayfold is not running. Start Wayfold; this button then shows "on".',
  },
  noPlace: {
    badge: "off",
    color: "#6b6b6b",
    hint: "three other browsers already feed Wayfold; this one waits for one of them to close.",
  },
  notInstalled: {
    badge: "!",
    color: "#c62828",
    hint: "the helper is not installed. Run scripts/install-bridge in the Wayfold folder; this button changes within seconds.",
  },
  helperFailed: {
    badge: "!",
    color: "#c62828",
    hint: "the helper stopped or cannot start (DETAIL). Trying again; if this stays, run scripts/install-bridge again.",
  },
};

let port = null;
let retryMs = FIRST_RETRY_MS;
let retryTimer = null;
let shownState = "";

// Tabs whose page has loaded: tab id -> { url, title }. Session storage keeps it while the
// browser runs, so a background script the browser stopped and started again still knows
// which tabs show a loaded page and which an error page.
let pages = new Map();
const restored = restorePages();

function isFollowed(url) {
  try {
    return FOLLOWED_SCHEMES.includes(new URL(url).protocol);
  } catch {
    return false;
  }
}

function clippedTitle(title) {
  return (title ?? "").slice(0, MAX_TITLE_LENGTH);
}

function ignoreFailure(promise) {
  Promise.resolve(promise).catch(() => {});
}

function send(message) {
  if (!port) return;
  try {
    port.postMessage(message);
  } catch {
    // The port is gone; its onDisconnect reconnects.
  }
}

function showState(name, detail = "") {
  const state = STATES[name];
  const title = "Wayfold Bridge: " + state.hint.replace("DETAIL", detail || "no reason given");
  if (title === shownState) return;
  shownState = title;
  const action = api.action;
  ignoreFailure(action.setBadgeText({ text: state.badge }));
  ignoreFailure(action.setBadgeBackgroundColor({ color: state.color }));
  if (action.setBadgeTextColor) ignoreFailure(action.setBadgeTextColor({ color: "#ffffff" }));
  ignoreFailure(action.setTitle({ title }));
}

async function getTab(tabId) {
  try {
    return await api.tabs.get(tabId);
  } catch {
    return null; // closed meanwhile
  }
}

// Whether a tab that loaded before this script ran shows an error page. Chromium marks the
// frame; Firefox gives its error pages one of its own chrome:// icons, which no web page can use
// (and does not record the error in the frame).
async function showsErrorPage(tab) {
  if (tab.favIconUrl?.startsWith("chrome://")) return true;
  try {
    const frame = await api.webNavigation.getFrame({ tabId: tab.id, frameId: 0 });
    return frame?.errorOccurred === true;
  } catch {
    return false;
  }
}

function savePages() {
  try {
    ignoreFailure(api.storage.session.set({ pages: [...pages] }));
  } catch {
    // Without session storage the tabs are looked at again after a restart.
  }
}

async function restorePages() {
  try {
    const stored = await api.storage.session.get("pages");
    if (Array.isArray(stored?.pages)) {
      pages = new Map(stored.pages);
      return;
    }
  } catch {
    // No session storage: take the tabs as they are.
  }
  // Pages that loaded before this script first ran (at the browser's start, or when the
  // extension was loaded).
  await new Promise((resolve) => setTimeout(resolve, SETTLE_MS));
  try {
    for (const tab of await api.tabs.query({})) {
      if (tab.status !== "complete" || tab.discarded || !isFollowed(tab.url)) continue;
      if (await showsErrorPage(tab)) continue;
      pages.set(tab.id, { url: tab.url, title: clippedTitle(tab.title) });
    }
    savePages();
  } catch (error) {
    console.warn("Wayfold Bridge: cannot list the open tabs:", error);
  }
}

function remember(tab) {
  const page = { url: tab.url, title: clippedTitle(tab.title) };
  pages.set(tab.id, page);
  savePages();
  send({ type: "page", tabId: tab.id, ...page, active: Boolean(tab.active) });
}

function forget(tabId) {
  if (!pages.delete(tabId)) return;
  savePages();
  send({ type: "closed", tabId });
}

async function reportPages() {
  await restored;
  let active = new Set();
  try {
    active = new Set((await api.tabs.query({ active: true })).map((tab) => tab.id));
  } catch {
    // Without the active tabs Wayfold's "current window" is the last page reported.
  }
  const tabs = [...pages].map(([tabId, page]) => ({ tabId, ...page, active: active.has(tabId) }));
  send({ type: "tabs", tabs });
}

function scheduleRetry() {
  if (retryTimer !== null) return;
  retryTimer = setTimeout(connect, retryMs);
  retryMs = Math.min(retryMs * 2, LAST_RETRY_MS);
}

function onClosed(why) {
  console.warn("Wayfold Bridge: the helper connection closed.", why);
  // Chromium: "Specified native messaging host not found."; Firefox: "No such native
  // application wayfold_bridge".
  const missing = /not found|no such native application/i.test(why);
  showState(missing ? "notInstalled" : "helperFailed", why);
  scheduleRetry();
}

function connect() {
  clearTimeout(retryTimer);
  retryTimer = null;
  if (port) return;
  showState("starting");
  let opened;
  try {
    opened = api.runtime.connectNative(HOST);
  } catch (error) {
    onClosed(String(error?.message ?? error));
    return;
  }
  port = opened;
  opened.onMessage.addListener(onHostMessage);
  opened.onDisconnect.addListener((closed) => {
    // Reading lastError here also keeps Chromium from reporting it as unchecked.
    const why = closed?.error?.message ?? api.runtime.lastError?.message ?? "";
    if (port !== opened) return;
    port = null;
    onClosed(why);
  });
  reportPages();
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
    if (message?.type === "status") {
      retryMs = FIRST_RETRY_MS; // the helper works
      const state = message.wayfold === true ? "connected" : message.service ? "noWayfold" : "noPlace";
      showState(state);
    } else if (message?.type === "open" && typeof message.url === "string" && isFollowed(message.url)) {
      await focusTab(await api.tabs.create({ url: message.url, active: true }));
    } else if (message?.type === "focus" && Number.isInteger(message.tabId)) {
      await focusTab(await api.tabs.update(message.tabId, { active: true }));
    }
  } catch (error) {
    console.warn("Wayfold Bridge: cannot do what the helper asked:", message, error);
  }
}

// A tab's new document replaces the page it showed; it is reported again once it has loaded.
// Firefox commits its error pages too, so a failed load ends here.
api.webNavigation.onCommitted.addListener(async ({ tabId, frameId }) => {
  if (frameId !== 0) return;
  await restored;
  forget(tabId);
});

// Only a page that loaded is a visit. Error pages never complete; a download completes in
// Firefox, but leaves the tab on the page it showed.
api.webNavigation.onCompleted.addListener(async ({ tabId, frameId, url }) => {
  if (frameId !== 0) return;
  await restored;
  const tab = await getTab(tabId);
  if (tab && tab.url === url && isFollowed(url)) remember(tab);
});

// Chromium shows its error pages without a commit: the failed address is the tab's.
api.webNavigation.onErrorOccurred.addListener(async ({ tabId, frameId, url }) => {
  if (frameId !== 0) return;
  await restored;
  const tab = await getTab(tabId);
  if (tab && tab.url === url) forget(tabId);
});

api.tabs.onUpdated.addListener(async (tabId, change, tab) => {
  if (change.title === undefined) return;
  await restored;
  const page = pages.get(tabId);
  if (!page || page.url !== tab.url) return;
  page.title = clippedTitle(change.title);
  savePages();
  send({ type: "title", tabId, title: page.title });
});

api.tabs.onRemoved.addListener(async (tabId) => {
  await restored;
  forget(tabId);
});

// A prerendered page can take the place of a tab under a new id.
api.tabs.onReplaced.addListener(async (addedTabId, removedTabId) => {
  await restored;
  forget(removedTabId);
  const tab = await getTab(addedTabId);
  if (tab?.status === "complete" && isFollowed(tab.url) && !(await showsErrorPage(tab)))
    remember(tab);
});

// A click on the button tries the helper again at once.
api.action.onClicked.addListener(() => {
  retryMs = FIRST_RETRY_MS;
  connect();
});

api.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === RETRY_ALARM && !port) connect();
});
ignoreFailure(api.alarms.create(RETRY_ALARM, { periodInMinutes: RETRY_ALARM_MINUTES }));

// Listening here wakes the background script when the browser starts.
api.runtime.onStartup.addListener(() => connect());

connect();
