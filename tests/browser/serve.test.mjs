// guide-link serve in a real browser: Debian's Chromium, headless, driven by playwright-core,
// against lx200-mount-sim on a real serial line (a socat pair from with-serial-pair.sh). Then
// the server's API and its refusals, straight over HTTP. The times asserted have wide margins:
// the machine may be busy.
//
// From the environment: GUIDE_LINK, MOUNT_SIMULATOR (the programs), BROWSER_MODULES (where
// npm ci put playwright-core), ARTEFACTS (a folder for the screenshots), SERIAL_PAIR_LINK and
// SERIAL_PAIR_MOUNT (the line's two ends).
import {after, before, test} from "node:test";
import assert from "node:assert/strict";
import {spawn} from "node:child_process";
import {createRequire} from "node:module";
import {mkdirSync, mkdtempSync, rmSync} from "node:fs";
import {tmpdir} from "node:os";
import {join} from "node:path";
import {once} from "node:events";

const require = createRequire(join(process.env.BROWSER_MODULES, "package.json"));
const {chromium} = require("playwright-core");

const linkEnd = process.env.SERIAL_PAIR_LINK;
const artefacts = process.env.ARTEFACTS;
mkdirSync(artefacts, {recursive: true});

// A program whose output lines are kept as they arrive.
function start(program, args) {
  const child = spawn(program, args, {stdio: ["ignore", "pipe", "pipe"]});
  child.lines = [];
  child.output = "";
  child.stdout.setEncoding("utf8");
  child.stdout.on("data", (text) => {
    child.output += text;
    child.lines.push(...text.split("\n").filter((line) => line));
  });
  child.stderr.setEncoding("utf8");
  child.stderr.on("data", (text) => { child.output += text; });
  return child;
}

async function until(what, condition, timeoutMs = 20000) {
  const limit = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > limit) throw new Error(`gave up waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// The simulated mount's own record: "   12.345  :Mn#", seconds since it started.
function mountCommands(mount) {
  return mount.lines.map((line) => line.trim().match(/^(\d+\.\d+)\s+(:\S+#)$/))
    .filter(Boolean).map((m) => ({t: parseFloat(m[1]) * 1000, command: m[2]}));
}

let mount, server, base, token, context, userData;

before(async () => {
  mount = start(process.env.MOUNT_SIMULATOR, ["--device", process.env.SERIAL_PAIR_MOUNT]);
  server = start(process.env.GUIDE_LINK, ["serve", "--listen", "127.0.0.1:0", "--extra-port", linkEnd]);
  const address = await until("the address guide-link serve prints",
    () => server.output.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]{32})/));
  base = `http://127.0.0.1:${address[1]}`;
  token = address[2];
  userData = mkdtempSync(join(tmpdir(), "guide-link-chromium-"));
  // Playwright passes the profile folder as --user-data-dir, and --headless itself.
  context = await chromium.launchPersistentContext(userData, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
    viewport: {width: 1000, height: 1400},
  });
});

after(async () => {
  await context?.close();
  if (userData) rmSync(userData, {recursive: true, force: true});
  if (server && server.exitCode === null) server.kill("SIGTERM");
  mount?.kill("SIGTERM");
});

async function openPage() {
  const page = await context.newPage();
  await page.goto(`${base}/?token=${token}`);
  await page.locator("#mount").waitFor({state: "visible"});
  return page;
}

// Asks for control as the page's button does (the page may have been given it already).
async function takeControl(page) {
  assert.ok(await page.evaluate(() => ask("/api/control")), await page.locator("#message").textContent());
  await page.locator("#control", {hasText: "This page has control"}).waitFor().catch(async (error) => {
    throw new Error(`${error.message}\nthe page shows: ${await page.locator("header").textContent()}`);
  });
}

async function statusIs(page, text, timeout = 20000) {
  await page.locator("#status", {hasText: text}).waitFor({timeout}).catch(async () => {
    throw new Error(`status is "${await page.locator("#status").textContent()}", not "${text}"`);
  });
  await until(`status "${text}"`, async () => (await page.locator("#status").textContent()) === text, timeout);
}

// The link test's transcript as the page shows it: [{t (ms), text}].
async function transcript(page) {
  const lines = await page.locator("#transcript li").allTextContents();
  return lines.map((line) => line.match(/^(\d+\.\d+) s(.*)$/)).filter(Boolean)
    .map((m) => ({t: parseFloat(m[1]) * 1000, text: m[2]}));
}

async function apiAs(page, path, body) {
  return page.evaluate(async ({path, body}) => {
    const response = await fetch(path, {method: "POST", body: JSON.stringify(body),
      headers: {"X-Guide-Link-Token": token, "X-Guide-Link-Page": pageKey, "Content-Type": "application/json"}});
    return {status: response.status, body: await response.json()};
  }, {path, body});
}

test("the link test: connect, a north pulse, its correction and its transcript, disconnect", async () => {
  const page = await openPage();
  assert.ok(!page.url().includes("token"), `the token is still in the address bar: ${page.url()}`);
  await page.locator("#control", {hasText: "This page has control"}).waitFor();
  await until("the serial pair in the port chooser",
    async () => (await page.locator("#port-list option").allTextContents()).some((t) => t.startsWith(linkEnd)));
  await page.selectOption("#port-list", linkEnd);
  await page.click("#connect");
  await statusIs(page, "Ready");

  // Every text the status line shows from here on.
  await page.evaluate(() => {
    window.statusSeen = [];
    new MutationObserver(() => window.statusSeen.push(document.getElementById("status").textContent))
      .observe(document.getElementById("status"), {childList: true, characterData: true, subtree: true});
  });
  const before = (await transcript(page)).length;
  await page.fill("#length", "1000");
  await page.click("#north");
  await until("the pulse's end", async () => {
    const seen = await page.evaluate(() => window.statusSeen);
    const sending = seen.indexOf("Sending correction pulse.");
    return sending >= 0 && seen.indexOf("Ready", sending) > sending;
  });
  await until("the stop in the transcript",
    async () => (await transcript(page)).slice(before).some((line) => line.text.includes(":Qn#")));
  const lines = (await transcript(page)).slice(before);
  const at = (command) => lines.find((line) => line.text.includes(command));
  for (const command of [":RG#", ":Mn#", ":Qn#"]) assert.ok(at(command), `${command} in ${JSON.stringify(lines)}`);
  assert.ok(at(":RG#").t <= at(":Mn#").t);
  const pulseMs = at(":Qn#").t - at(":Mn#").t;
  assert.ok(pulseMs > 800 && pulseMs < 1600, `:Mn# to :Qn# took ${pulseMs} ms`);
  await page.locator("#pulses li", {hasText: "north 1000 ms asked"}).waitFor();

  // A length below the shortest is raised, as the dialog raises it, and the field shows it.
  await page.fill("#length", "150");
  await page.click("#south");
  assert.equal(await page.inputValue("#length"), "200");
  await page.locator("#pulses li", {hasText: "south 200 ms asked"}).waitFor();
  await statusIs(page, "Ready");

  // Pulses on the two axes that overlap are each measured by their own move and stop.
  await page.fill("#length", "1000");
  await page.click("#east");
  await new Promise((resolve) => setTimeout(resolve, 300));
  await page.fill("#length", "2000");
  await page.click("#north");
  for (const [direction, ms] of [["east", 1000], ["north", 2000]]) {
    const item = page.locator("#pulses li", {hasText: `${direction} ${ms} ms asked`});
    await item.waitFor();
    const measured = parseFloat((await item.textContent()).match(/asked, ([\d.]+) ms/)[1]);
    assert.ok(Math.abs(measured - ms) < 150, `${direction} ${ms} ms listed as ${measured} ms`);
  }
  await statusIs(page, "Ready");

  await page.screenshot({path: join(artefacts, "serve-page.png"), fullPage: true});
  await page.click("#night");
  await page.screenshot({path: join(artefacts, "serve-page-night.png"), fullPage: true});
  await page.reload();
  await page.locator("#mount").waitFor({state: "visible"});
  assert.ok(await page.evaluate(() => document.body.classList.contains("night")), "night mode remembered");
  await page.click("#night");

  // The page before the reload may still hold control until the server sees it gone.
  await takeControl(page);
  await page.click("#disconnect");
  await statusIs(page, "Connection closed");
  await page.close();
});

// A page with control that has started a motion check with these options.
async function startMotionCheck({pulses, lengthMs, baselineMs, settleMs}) {
  const page = await openPage();
  await takeControl(page);
  await page.selectOption("#port-list", linkEnd);
  await page.fill("#motion-pulses", String(pulses));
  await page.fill("#motion-length", String(lengthMs));
  await page.fill("#motion-baseline", String(baselineMs));
  await page.fill("#motion-settle", String(settleMs));
  await page.click("#motion-run");
  return page;
}

test("the motion check: progress, verdict and plot", {timeout: 180000}, async () => {
  // Long enough for the right ascension, read to the second, to show the east and west runs.
  const page = await startMotionCheck({pulses: 1, lengthMs: 5000, baselineMs: 1000, settleMs: 0});
  await page.locator("#motion-progress", {hasText: "Run 1,"}).waitFor({timeout: 60000});
  await page.locator("#motion-verdict .outcome").waitFor({timeout: 150000});
  assert.equal(await page.locator("#motion-verdict .outcome").textContent(), "pass",
    await page.locator("#motion-verdict").textContent());
  // A line for each run, the probes among them, in six directions' runs at least.
  assert.ok(await page.locator("#motion-plot svg polyline").count() >= 6, "a line for each run");
  assert.ok(await page.locator("#motion-plot svg line.stop").count() >= 6, "the stops are marked");
  assert.equal(await page.locator("#motion-plot svg g.panel").count(), 2, "a panel for each axis");
  assert.ok(await page.locator("#motion-plot svg rect.pulse").count() >= 6, "the pulses are shaded");
  const overlapping = await page.evaluate(() => [...document.querySelectorAll("#motion-plot g.panel")].flatMap((panel) => {
    const boxes = [...panel.querySelectorAll("text.label")].map((label) => label.getBBox());
    return boxes.flatMap((a, i) => boxes.slice(i + 1).filter((b) =>
      a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height));
  }).length);
  assert.equal(overlapping, 0, "labels overlap");
  await page.locator("#motion").screenshot({path: join(artefacts, "serve-motion.png")});
  await page.click("#night");
  await page.locator("#motion").screenshot({path: join(artefacts, "serve-motion-night.png")});
  await page.click("#night");
  await page.close();
});

test("a motion check stopped from the page: the halt reaches the mount", {timeout: 120000}, async () => {
  const sentBefore = mountCommands(mount).length;
  const page = await startMotionCheck({pulses: 3, lengthMs: 5000, baselineMs: 0, settleMs: 0});
  await until("a move at the mount",
    () => mountCommands(mount).slice(sentBefore).some((c) => /^:M[nsew]#$/.test(c.command)), 60000);
  await page.click("#motion-stop");
  await until("the halt at the mount",
    () => mountCommands(mount).slice(sentBefore).some((c) => c.command === ":Q#"), 20000);
  // After a stop, motion reads the mount twice, far enough apart to show a drift at half the
  // sidereal rate: up to 30 s with the rough baseline of a check that took none.
  await page.locator("#motion-verdict .outcome").waitFor({timeout: 60000});
  assert.equal(await page.locator("#motion-verdict .outcome").textContent(), "interrupted");
  assert.ok(await page.locator("#motion-stop").isDisabled(), "Stop stays pressable after the check");
  await page.close();
});

test("refusals: no token, a wrong one, another site, bad values", async () => {
  const get = (path, headers = {}) => fetch(base + path, {headers});
  const noToken = await get("/api/state");
  assert.equal(noToken.status, 401);
  assert.match((await noToken.json()).error, /token/);
  assert.equal((await get("/api/state?token=0123")).status, 403);
  assert.equal((await get("/api/events")).status, 401);
  assert.equal((await get(`/api/state?token=${token}`, {Origin: "http://elsewhere.example"})).status, 403);
  assert.equal((await get(`/api/state?token=${token}`)).status, 200);
  const page = await fetch(base + "/");
  assert.equal(page.status, 200);
  assert.ok(!(await page.text()).includes(linkEnd), "the page without the token shows nothing of the mount");

  for (const address of [`${base}/`, `${base}/?token=0123`]) {
    const stranger = await context.newPage();
    await stranger.goto(address);
    await stranger.locator("#access").waitFor({state: "visible"});
    assert.ok(await stranger.locator("#mount").isHidden(), `${address} shows the controls`);
    await stranger.close();
  }

  const browserPage = await openPage();
  await takeControl(browserPage);
  const commandsBefore = mountCommands(mount).length;
  const refused = [
    ["/api/pulse", {direction: "north", ms: 99999}, 400],
    ["/api/pulse", {direction: "up", ms: 1000}, 400],
    ["/api/connect", {port: "/etc/passwd"}, 400],
    ["/api/motion", {port: linkEnd, pulses: 0, length_ms: 1000, baseline_ms: 0, settle_ms: 0}, 400],
  ];
  for (const [path, body, status] of refused) {
    const reply = await apiAs(browserPage, path, body);
    assert.equal(reply.status, status, `${path} ${JSON.stringify(body)}: ${JSON.stringify(reply.body)}`);
    assert.ok(reply.body.error.length > 10);
  }
  // None of them reached the line.
  await new Promise((resolve) => setTimeout(resolve, 500));
  assert.equal(mountCommands(mount).length, commandsBefore);
  await browserPage.close();
});

test("one controller: a second page takes control only when asked, and the first is told", async () => {
  const first = await openPage();
  await takeControl(first);
  const second = await openPage();
  await second.locator("#control", {hasText: "has control"}).waitFor();
  assert.match(await second.locator("#control").textContent(), /Watching/);
  assert.ok(await second.locator("#north").isDisabled());
  assert.equal((await apiAs(second, "/api/connect", {port: linkEnd})).status, 409);

  await second.click("#take-control");
  await second.locator("#control", {hasText: "This page has control"}).waitFor();
  await first.locator("#message", {hasText: "took control"}).waitFor();
  assert.equal((await apiAs(first, "/api/pulse", {direction: "north", ms: 1000})).status, 409);
  await first.close();
  await second.close();
});

test("a page that goes away mid 5000 ms pulse: the stop still reaches the mount on time", async () => {
  const page = await openPage();
  await takeControl(page);
  const watcher = await openPage();
  await watcher.locator("#control", {hasText: "Watching"}).waitFor();
  await page.selectOption("#port-list", linkEnd);
  await page.click("#connect");
  await statusIs(page, "Ready");
  const sentBefore = mountCommands(mount).length;
  await page.fill("#length", "5000");
  await page.click("#west");
  await until("the move at the mount", () => mountCommands(mount).slice(sentBefore).some((c) => c.command === ":Mw#"));
  await page.close();

  await watcher.locator("#control", {hasText: "no page has control"}).waitFor();
  await until("the stop at the mount",
    () => mountCommands(mount).slice(sentBefore).some((c) => c.command === ":Qw#"), 15000);
  const commands = mountCommands(mount).slice(sentBefore);
  const move = commands.find((c) => c.command === ":Mw#");
  const stop = commands.find((c) => c.command === ":Qw#");
  const lasted = stop.t - move.t;
  assert.ok(lasted > 4000 && lasted < 6500, `the mount saw the pulse last ${lasted} ms`);
  // Without a controller no new pulse starts.
  assert.ok(await watcher.locator("#north").isDisabled());
  assert.equal((await apiAs(watcher, "/api/pulse", {direction: "north", ms: 1000})).status, 409);
  await watcher.close();
});

test("SIGTERM ends the server, which closes the port first", async () => {
  server.kill("SIGTERM");
  const [code] = await Promise.race([once(server, "exit"),
    new Promise((_, reject) => setTimeout(() => reject(new Error("still serving 20 s after SIGTERM")), 20000))]);
  assert.equal(code, 0);
  assert.match(server.output, /Stopping/);
});
