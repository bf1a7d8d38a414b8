// Drives headless Chromium with the extension loaded, over the DevTools
// pipe: opens a page, waits until the extension has told its host about
// it, then asks the extension's background to add the page, as the popup
// does, and to show the agent's view of it, which Harvion sends back as a
// local file for the browser to open. Prints one JSON line with what the
// extension answered and the address of the tab that opened.
//
//   node chromium_driver.mjs CHROMIUM EXTENSION_DIR USER_DATA_DIR EXTENSION_ID PAGE_URL AGENT [SCREENSHOT]
// AGENT is the agent the extension remembers from an earlier session.
import {spawn} from "node:child_process";
import {writeFileSync} from "node:fs";

const [chromium, extensionDir, userDataDir, extensionId, pageUrl, agent, screenshot] = process.argv.slice(2);
const args = ["--headless", "--no-first-run", "--no-default-browser-check", "--disable-gpu",
              `--user-data-dir=${userDataDir}`, `--load-extension=${extensionDir}`,
              "--remote-debugging-pipe", "about:blank"];
if (process.getuid() === 0) args.unshift("--no-sandbox");
const browser = spawn(chromium, args, {stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"]});
const fail = (why) => {
  console.log(JSON.stringify({error: why}));
  browser.kill("SIGKILL");
  process.exit(1);
};
setTimeout(() => fail("timed out"), 45000).unref();

let nextId = 1;
const waiting = new Map();
const events = [];
let buffered = "";
browser.stdio[4].on("data", (chunk) => {
  buffered += chunk.toString();
  let end;
  while ((end = buffered.indexOf("\0")) >= 0) {
    const message = JSON.parse(buffered.slice(0, end));
    buffered = buffered.slice(end + 1);
    if (message.id && waiting.has(message.id)) {
      waiting.get(message.id)(message);
      waiting.delete(message.id);
    } else {
      events.push(message);
    }
  }
});
function send(method, params = {}, sessionId) {
  const id = nextId++;
  browser.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + "\0");
  return new Promise((resolve, reject) => waiting.set(id, (m) => m.error ? reject(new Error(m.error.message)) : resolve(m.result)));
}
const pause = (ms) => new Promise((r) => setTimeout(r, ms));

async function workerSession() {
  for (let i = 0; i < 100; ++i) {
    const {targetInfos} = await send("Target.getTargets");
    const worker = targetInfos.find((t) => t.type === "service_worker" && t.url.startsWith(`chrome-extension://${extensionId}/`));
    if (worker) return (await send("Target.attachToTarget", {targetId: worker.targetId, flatten: true})).sessionId;
    await pause(200);
  }
  fail("the extension's background did not start");
}

async function evaluate(session, expression) {
  const {result, exceptionDetails} = await send("Runtime.evaluate", {expression, awaitPromise: true, returnByValue: true}, session);
  if (exceptionDetails) fail(exceptionDetails.exception?.description || exceptionDetails.text);
  return result.value;
}

const worker = await workerSession();
const {targetId} = await send("Target.createTarget", {url: pageUrl});
await send("Target.activateTarget", {targetId});
let told = null;
for (let i = 0; i < 100 && !(told && told.url === pageUrl && told.title); ++i) {
  await pause(100);
  told = await evaluate(worker, "activeTab().then((tab) => { if (tab?.status !== 'complete') return null; tellPage(tab); return lastPage; })");
}
await evaluate(worker, `api.storage.local.set({lastAgent: ${JSON.stringify(agent)}})`);
const added = await evaluate(worker, "tabRequest('add')");
const offline = await evaluate(worker, "tabRequest('offline')");
let opened = null;
for (let i = 0; i < 100 && !opened; ++i) {
  await pause(100);
  opened = await evaluate(worker, "api.tabs.query({}).then((tabs) => tabs.map((t) => t.pendingUrl || t.url).find((u) => u.startsWith('file:')) || null)");
}
// The popup as a screen reader reads it, once it has heard from the host.
const popup = (await send("Target.createTarget", {url: `chrome-extension://${extensionId}/popup.html`})).targetId;
const session = (await send("Target.attachToTarget", {targetId: popup, flatten: true})).sessionId;
await send("Emulation.setDeviceMetricsOverride", {width: 280, height: 200, deviceScaleFactor: 1, mobile: false}, session);
const inPopup = async (expression) =>
  (await send("Runtime.evaluate", {expression, returnByValue: true}, session)).result.value;
const agentShown = async () => {
  const text = await inPopup("document.getElementById('agent')?.textContent");
  return typeof text === "string" && text !== "\u2026";
};
for (let i = 0; i < 100 && !await agentShown(); ++i) await pause(100);
const {nodes} = await send("Accessibility.getFullAXTree", {}, session);
const controls = nodes.filter((n) => !n.ignored && ["button", "status", "heading"].includes(n.role?.value))
                      .map((n) => `${n.role.value}: ${n.name?.value ?? ""}`);
controls.push(`agent: ${await inPopup("document.getElementById('agent').textContent")}`);
const focused = await inPopup("document.activeElement.id");
if (screenshot) {
  const {data} = await send("Page.captureScreenshot", {format: "png"}, session);
  writeFileSync(screenshot, Buffer.from(data, "base64"));
}
console.log(JSON.stringify({told, added, offline, opened, popup: {controls, focused}}));
await send("Browser.close").catch(() => {});
browser.kill("SIGKILL");
process.exit(0);
