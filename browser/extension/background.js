// Keeps the Harvion host told which page the active tab shows, carries the
// popup's and the shortcut's requests to it, and opens the pages Harvion
// asks the browser to show.
"use strict";

const HOST = "net.tessarine.harvion";
const api = globalThis.browser ?? globalThis.chrome;

let port = null;
let lastPage = null;
let pending = [];   // requests waiting for the host's answer, oldest first

function settle(answer) {
  const waiting = pending.shift();
  if (waiting) {
    clearTimeout(waiting.timer);
    waiting.resolve(answer);
  }
}

function onHostMessage(message) {
  if (message.type === "navigate") {
    openPage(message.url);
  } else if (message.type === "status") {
    api.storage.local.set({running: message.running === "true", agent: message.agent || ""});
    if (message.agent) api.storage.local.set({lastAgent: message.agent});
    settle(message);
  } else if (message.type === "error") {
    settle(message);
  }
}

function connect() {
  port = api.runtime.connectNative(HOST);
  port.onMessage.addListener(onHostMessage);
  port.onDisconnect.addListener(() => {
    const why = api.runtime.lastError?.message || port?.error?.message || "the Harvion host ended";
    port = null;
    lastPage = null;
    for (const waiting of pending.splice(0)) {
      clearTimeout(waiting.timer);
      waiting.resolve({type: "error", message: why});
    }
  });
}

function post(message) {
  if (!port) connect();
  port.postMessage(message);
}

// Sends a request and waits for its answer; hvmain may take a while to start.
function request(message) {
  return new Promise((resolve) => {
    const waiting = {resolve};
    waiting.timer = setTimeout(() => {
      pending = pending.filter((w) => w !== waiting);
      resolve({type: "error", message: "Harvion did not answer"});
    }, 20000);
    pending.push(waiting);
    try {
      post(message);
    } catch (e) {
      settle({type: "error", message: String(e.message || e)});
    }
  });
}

// Harvion's stored copies are local files: where the browser does not let
// an extension open file: addresses, the host opens them instead.
async function openPage(url) {
  try {
    await api.tabs.create({url});
  } catch (e) {
    post({type: "open", url});
  }
}

// Only pages Harvion can fetch are told; the browser's own pages and this
// extension's are told as no page, so nothing stale is added.
function tellPage(tab) {
  if (!tab) return;
  const web = /^(https?|file):/i.test(tab.url || "");
  const page = {type: "page", url: web ? tab.url : "", title: web ? tab.title || "" : ""};
  if (lastPage && lastPage.url === page.url && lastPage.title === page.title) return;
  lastPage = page;
  post(page);
}

async function activeTab() {
  const [tab] = await api.tabs.query({active: true, lastFocusedWindow: true});
  return tab;
}

async function tabRequest(type) {
  const tab = await activeTab();
  if (!tab) return {type: "error", message: "no page is open"};
  const {lastAgent = ""} = await api.storage.local.get("lastAgent");
  return request({type, url: tab.url || "", title: tab.title || "", agent: lastAgent});
}

api.tabs.onActivated.addListener(({tabId}) => api.tabs.get(tabId).then(tellPage, () => {}));
api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (tab.active && (change.url || change.title)) tellPage(tab);
});
api.windows.onFocusChanged.addListener(() => activeTab().then(tellPage, () => {}));
api.commands.onCommand.addListener((command) => {
  if (command === "add-page") tabRequest("add");
});

// Requests from the popup, which is one of this extension's own pages.
api.runtime.onMessage.addListener((message, sender, reply) => {
  if (sender.id !== api.runtime.id) return false;
  const answer = message.command === "status" ? request({type: "status"})
               : message.command === "add" ? tabRequest("add")
               : message.command === "offline" ? tabRequest("offline")
               : null;
  if (!answer) return false;
  answer.then(reply);
  return true;
});
