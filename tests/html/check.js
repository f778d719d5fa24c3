// Each PAGE.html in the folder, beside the XML report PAGE.xml of the same run, opened from its
// file in Debian's chromium through playwright-core: it must make no request, log no error, run
// nothing, and show every drive as the report has it. A screenshot of each is kept beside it.
const { chromium } = require(process.env.PLAYWRIGHT_CORE);
const fs = require("fs");
const path = require("path");

// What the page shows of each drive, and what the report holds, in one shape.
function shownDrives() {
  return [...document.querySelectorAll("section.drive")].map((section) => {
    const terms = {};
    section.querySelectorAll("dt").forEach((dt) => (terms[dt.textContent] = dt.nextElementSibling.textContent));
    const error = section.querySelector(".error");
    return {
      state: section.dataset.state, reasons: section.querySelectorAll(".reasons li").length,
      model: terms.Model, serial: terms.Serial, firmware: terms.Firmware, device: terms.Device,
      error: error ? error.textContent.replace(/^Error: /, "") : null,
      attributes: Object.fromEntries([...section.querySelectorAll("table.attributes tr")].slice(1).map((row) => {
        const cells = [...row.cells].map((cell) => cell.textContent);
        return [cells[0], [cells[2], cells[3], cells[4] || "-1", String(BigInt(cells[5]) & 0xFFFFn), row.className]];
      })),
    };
  });
}

function reportedDrives(xml) {
  const report = new DOMParser().parseFromString(xml, "application/xml");
  return [...report.querySelectorAll("drive")].map((drive) => {
    const health = drive.querySelector("health");
    return {
      state: health ? health.getAttribute("state") : "", reasons: drive.querySelectorAll("reason").length,
      model: drive.getAttribute("model"), serial: drive.getAttribute("serial"),
      firmware: drive.getAttribute("firmware"), device: drive.getAttribute("devicepath"),
      error: drive.getAttribute("error"),
      attributes: Object.fromEntries([...drive.querySelectorAll("attrib")].map((a) => [a.getAttribute("id"),
        ["value", "worst", "treshold", "raw"].map((name) => a.getAttribute(name))])),
    };
  });
}

(async () => {
  const folder = process.argv[2];
  const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
  let failures = 0;
  const names = fs.readdirSync(folder).filter((name) => name.endsWith(".html"));
  for (const name of names) {
    const url = "file://" + path.resolve(folder, name);
    const page = await browser.newPage({ viewport: { width: 420, height: 800 } });  // a narrow window
    const problems = [];
    page.on("console", (message) => message.type() === "error" && problems.push("console: " + message.text()));
    page.on("pageerror", (error) => problems.push("script error: " + error.message));
    page.on("dialog", (dialog) => problems.push("dialog: " + dialog.message()) && dialog.dismiss());
    page.on("request", (request) => request.url() !== url && problems.push("request: " + request.url()));
    await page.goto(url);
    const shown = await page.evaluate(shownDrives);
    const xml = new TextDecoder("windows-1251").decode(fs.readFileSync(path.join(folder, name.replace(/html$/, "xml"))));
    const reported = await page.evaluate(reportedDrives, xml);
    if (await page.evaluate(() => document.querySelectorAll("img, script, iframe, object").length)) {
      problems.push("elements made of a drive's text");
    }
    if (shown.length !== reported.length) problems.push(`${shown.length} drives shown, ${reported.length} reported`);
    const overview = await page.$$eval("table.overview tr", (rows) => rows.slice(1).map((r) => [r.cells[0].textContent, r.cells[2].textContent]));
    if (JSON.stringify(overview) !== JSON.stringify(reported.map((d) => [d.device, d.state]))) problems.push(`overview ${JSON.stringify(overview)}`);
    reported.forEach((drive, at) => {
      const seen = shown[at] || {};
      for (const key of ["state", "reasons", "model", "serial", "firmware", "device", "error"]) {
        if (seen[key] !== drive[key]) problems.push(`${drive.device} ${key}: shown ${JSON.stringify(seen[key])}, reported ${JSON.stringify(drive[key])}`);
      }
      for (const [id, values] of Object.entries(drive.attributes)) {
        const row = (seen.attributes || {})[id] || [];
        const low = +values[0] <= +values[2] && +values[2] >= 1 && +values[2] <= 253 && +values[0] >= 1;
        if (row.slice(0, 4).join() !== values.join() || (row[4] === "low") !== low) {
          problems.push(`${drive.device} attribute ${id}: shown ${row}, reported ${values}`);
        }
      }
    });
    await page.screenshot({ path: path.join(folder, name.replace(/html$/, "png")), fullPage: true });
    for (const problem of problems) console.log(`FAIL ${name}: ${problem}`);
    failures += problems.length;
    await page.close();
  }
  await browser.close();
  console.log(`${names.length} pages checked in chromium, ${failures} problems`);
  process.exit(failures === 0 && names.length > 0 ? 0 : 1);
})();
