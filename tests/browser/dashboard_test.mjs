// The live dashboard in a real browser: headless chromium, driven by
// playwright-core, opens the page during a replay, sees the levels change,
// clicks Calibrate, sees the calibration progress rise, and saves a
// screenshot. Exits 77 (skipped) with a message when chromium or
// playwright-core is missing.
//   node dashboard_test.mjs KALO_EXECUTABLE OUTPUT_FOLDER PLAYWRIGHT_FOLDER
import { spawn, spawnSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";

const [kalo, outputFolder, playwrightFolder] = process.argv.slice(2);
const skip = (why) => { console.log(`SKIPPED: ${why}`); process.exit(77); };
const chromium = ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find(existsSync);
if (!chromium) skip("no chromium (tools/install_deps.sh installs Debian's)");
let playwright;
try {
  playwright = createRequire(join(playwrightFolder, "package.json"))("playwright-core");
} catch {
  skip(`no playwright-core in ${playwrightFolder} (tools/install_playwright.sh installs it)`);
}

const freePort = () => new Promise((resolve) => {
  const server = createServer().listen(0, "127.0.0.1", () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  });
});
const fail = (why) => { console.error(`FAILED: ${why}`); process.exitCode = 1; };

const scratch = mkdtempSync(join(tmpdir(), "kalo-browser."));
const demo = join(scratch, "demo.edf");
if (spawnSync(kalo, ["demo", "--write", demo]).status !== 0) throw new Error("kalo demo --write failed");
const port = await freePort();
// Slow enough for the page to watch, the calibration started by the button only.
const live = spawn(kalo, ["live", "--replay", demo, "--speed", "4", "--calibrate-at", "never",
                          "--serve", String(port)], { stdio: ["ignore", "ignore", "pipe"] });
let stderr = "";
live.stderr.on("data", (d) => { stderr += d; });
const browser = await playwright.chromium.launch({ executablePath: chromium, headless: true,
                                                   args: ["--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu"] });
try {
  for (let i = 0; i < 100 && !stderr.includes("dashboard at"); ++i) await new Promise((r) => setTimeout(r, 100));
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on("console", (m) => console.error(`console: ${m.text()}`));
  page.on("pageerror", (e) => console.error(`page error: ${e.message}`));
  await page.goto(`http://127.0.0.1:${port}/`);
  const text = (id) => page.locator(`#${id}`).innerText();
  await page.waitForFunction(() => document.getElementById("time").textContent !== "-", null, { timeout: 10000, polling: 100 });
  const firstTime = await text("time"), firstRelaxation = await text("inst_relaxation");
  await page.waitForTimeout(2500);
  const laterTime = await text("time"), laterRelaxation = await text("inst_relaxation");
  if (!(Number(laterTime) > Number(firstTime))) fail(`the time did not move: ${firstTime} then ${laterTime}`);
  if (laterRelaxation === firstRelaxation) fail(`the relaxation did not change from ${firstRelaxation}`);
  if (Number(await text("calibration_percent")) !== 0) fail("a calibration ran before the button was clicked");
  await page.click("#calibrate");
  await page.waitForFunction(() => Number(document.getElementById("calibration_percent").textContent) > 0, null,
                             { timeout: 15000, polling: 100 });
  await page.waitForTimeout(1500); // the charts fill a little more for the picture
  mkdirSync(outputFolder, { recursive: true });
  const picture = join(outputFolder, "live_dashboard.png");
  await page.screenshot({ path: picture, fullPage: true });
  console.log(`calibration at ${await text("calibration_percent")} % after the click; screenshot ${picture}`);
} catch (e) {
  fail(`${e.message}\nkalo said:\n${stderr}`);
  try { console.error(`connection: ${await browser.contexts()[0].pages()[0].locator("#connection").innerText()}`); } catch {}
} finally {
  await browser.close();
  live.kill("SIGTERM");
  await new Promise((r) => live.on("exit", r));
  rmSync(scratch, { recursive: true, force: true });
}
