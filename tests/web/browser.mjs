// The exported demo atlas served by scripts/serve.sh and opened in a real browser (Debian's
// Chromium, headless, driven through its DevTools protocol):
//   - the page's map against vandrel-render's picture of the same extent, labels off on both:
//     at least 90 % of each one's ink within 2 pixels of the other's;
//   - a click on a water pipe tells its diameter and material;
//   - the search finds a street and centres the map on it;
//   - the servers stopped afterwards, nothing of them left running.
//
// Usage: node browser.mjs VANDREL_DEMO VANDREL_EXPORT VANDREL_RENDER SOURCE_DIR
// With VANDREL_BROWSER_KEEP=DIR the page's pictures after the click and the search stay there.
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';
import {PNG} from 'pngjs';

const [demo, exporter, render, source] = process.argv.slice(2);
const NEAR = 2;
const REQUIRED = 0.9;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vandrel-browser-'));
const failures = [];
const check = (ok, what) => {
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
  if (!ok) failures.push(what);
};

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The first object of a table of the GeoPackage as GeoJSON, through GDAL's own tool.
function objects(table, where) {
  const args = ['-f', 'GeoJSON', '/vsistdout/', path.join(work, 'atlas.gpkg'), table];
  if (where) args.push('-where', where);
  return JSON.parse(execFileSync('ogr2ogr', args, {encoding: 'utf8'})).features;
}

function ink(file) {
  const png = PNG.sync.read(fs.readFileSync(file));
  const mask = new Uint8Array(png.width * png.height);
  for (let i = 0; i < mask.length; ++i) {
    const [r, g, b] = png.data.subarray(4 * i, 4 * i + 3);
    mask[i] = r < 245 || g < 245 || b < 245 ? 1 : 0;
  }
  return {mask, width: png.width, height: png.height};
}

// The share of a's ink within NEAR pixels of b's ink.
function nearShare(a, b) {
  let count = 0;
  let near = 0;
  for (let y = 0; y < a.height; ++y) {
    for (let x = 0; x < a.width; ++x) {
      if (!a.mask[y * a.width + x]) continue;
      ++count;
      search: for (let dy = -NEAR; dy <= NEAR; ++dy) {
        for (let dx = -NEAR; dx <= NEAR; ++dx) {
          const yy = y + dy;
          const xx = x + dx;
          if (yy >= 0 && yy < b.height && xx >= 0 && xx < b.width && b.mask[yy * b.width + xx]) {
            ++near;
            break search;
          }
        }
      }
    }
  }
  return count ? near / count : 0;
}

async function waitForPicture(page) {
  await page.waitForFunction(() => document.body.dataset.state !== 'loading', null, {timeout: 60000});
  await page.waitForTimeout(300); // the image faded in
}

const port = await freePort();
execFileSync(demo, [path.join(work, 'demo')], {stdio: 'ignore'});
// Labels off: the map server and vandrel-render place them each its own way.
execFileSync(exporter, ['--data-root', path.join(work, 'demo'), '-o', path.join(work, 'atlas.gpkg'),
  '--no-labels'], {stdio: 'ignore'});
const server = spawn('bash', [path.join(source, 'scripts/serve.sh'), path.join(work, 'atlas.gpkg'),
  String(port)], {detached: true, stdio: ['ignore', 'pipe', 'pipe']});
let serverLog = '';
server.stdout.on('data', (d) => { serverLog += d; });
server.stderr.on('data', (d) => { serverLog += d; });
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  for (let i = 0; !serverLog.includes('http://127.0.0.1') && i < 1200; ++i) {
    if (server.exitCode !== null) throw new Error(`serve.sh ended:\n${serverLog}`);
    await new Promise((r) => setTimeout(r, 100));
  }
  const page = await browser.newPage({viewport: {width: 1300, height: 900}, deviceScaleFactor: 1});
  await page.goto(`http://127.0.0.1:${port}/`);
  await waitForPicture(page);
  check(await page.evaluate(() => document.body.dataset.state) === 'ready', 'the map is drawn');

  // The whole map: the page's picture against vandrel-render's of the same extent.
  await page.addStyleTag({content: '.ol-control, .ol-scale-line { display: none !important; }'});
  const view = await page.evaluate(() => {
    const map = window.vandrelMap;
    return {extent: map.getView().calculateExtent(map.getSize()), size: map.getSize()};
  });
  await page.locator('#map').screenshot({path: path.join(work, 'page.png')});
  execFileSync(render, ['--data-root', path.join(work, 'demo'), '--no-labels',
    '--size', `${view.size[0]}x${view.size[1]}`, '--extent', view.extent.map((v) => v.toFixed(3)).join(','),
    '-o', path.join(work, 'render.png')], {stdio: 'ignore'});
  const pageInk = ink(path.join(work, 'page.png'));
  const renderInk = ink(path.join(work, 'render.png'));
  const served = nearShare(pageInk, renderInk);
  const drawn = nearShare(renderInk, pageInk);
  check(served >= REQUIRED && drawn >= REQUIRED,
    `the page's ink near the program's: ${(100 * served).toFixed(1)} %, the program's near the page's: ${(100 * drawn).toFixed(1)} %`);

  // A click on a water pipe, in the middle of its first segment, close up.
  const pipe = objects('water')[0];
  const [[x1, y1], [x2, y2]] = pipe.geometry.coordinates[0];
  const middle = [(x1 + x2) / 2, (y1 + y2) / 2];
  const pixel = await page.evaluate((at) => {
    const map = window.vandrelMap;
    map.getView().setCenter(at);
    map.getView().setResolution(0.2);
    map.renderSync();
    return map.getPixelFromCoordinate(at);
  }, middle);
  await waitForPicture(page);
  const box = await page.locator('#map').boundingBox();
  await page.mouse.click(box.x + pixel[0], box.y + pixel[1]);
  await page.locator('#info').waitFor({state: 'visible', timeout: 30000});
  await page.waitForFunction(() => document.querySelector('#info-body').textContent.length > 0);
  const info = await page.locator('#info-body').innerText();
  const {DIAMETER, MATERIAL} = pipe.properties;
  const keep = process.env.VANDREL_BROWSER_KEEP;
  if (keep) await page.screenshot({path: path.join(keep, 'click.png')});
  check(info.includes('DIAMETER') && info.includes(String(DIAMETER)) && info.includes(MATERIAL),
    `the click tells the pipe's diameter ${DIAMETER} and material ${MATERIAL}`);

  // The search: a street's name in lower case, without its type.
  const street = objects('streets')[0].properties;
  await page.fill('#search-text', street.STREET.toLowerCase());
  await page.press('#search-text', 'Enter');
  await page.locator('#search-results li').first().waitFor({timeout: 30000});
  const first = await page.locator('#search-results li').first().innerText();
  check(first.includes(street.STREET), `the search finds "${street.STREET}" (first: "${first.split('\n')[0]}")`);
  const segments = objects('streets', `STREET = '${street.STREET.replace(/'/g, "''")}'`);
  const xs = segments.flatMap((f) => f.geometry.coordinates.flat().map((c) => c[0]));
  const ys = segments.flatMap((f) => f.geometry.coordinates.flat().map((c) => c[1]));
  const centre = await page.evaluate(() => window.vandrelMap.getView().getCenter());
  if (keep) {
    await waitForPicture(page);
    await page.screenshot({path: path.join(keep, 'search.png')});
  }
  check(centre[0] >= Math.min(...xs) && centre[0] <= Math.max(...xs) && centre[1] >= Math.min(...ys)
    && centre[1] <= Math.max(...ys), `the map is centred on the street (${centre.map((v) => v.toFixed(1))})`);

  // What a stranger sends is refused before the map server: expressions of its own (one that
  // writes into the GeoPackage, one that probes the server's files, one that leaves the page's
  // quoted text), a transaction, layers and styles from a URL, another method.
  const ows = `http://127.0.0.1:${port}/ows?`;
  const filter = (text) => `SERVICE=WFS&VERSION=1.1.0&REQUEST=GetFeature&TYPENAME=streets`
    + `&SRSNAME=EPSG:32636&MAXFEATURES=200&EXP_FILTER=${encodeURIComponent(text)}`;
  const hostile = [
    filter("sqlite_fetch_and_increment('atlas.gpkg', 'layer_styles', 'id', 'id', 'id', map())"),
    filter("file_exists('/etc/shadow')"),
    filter(`regexp_match("STREET", '(?i)a\\'') > 0 OR file_exists('/etc/shadow') OR ('') > 0`),
    'SERVICE=WFS&VERSION=1.0.0&REQUEST=Transaction&OPERATION=DELETE&TYPENAME=address&FEATUREID=address.2',
    'SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=EXTERNAL_WMS:x&x:url=http://10.255.255.1/',
    'SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=water&SLD=http://10.255.255.1/s.xml',
    'service=wfs&request=GetFeature&typename=streets&exp_filter=1',
  ];
  for (const query of hostile) {
    const reply = await fetch(ows + query);
    check(reply.status === 403, `refused with 403 (${reply.status}): ${query.slice(0, 90)}`);
  }
  const posted = await fetch(`${ows}SERVICE=WMS&REQUEST=GetCapabilities`, {method: 'POST', body: 'x'});
  check(posted.status === 403, `a POST is refused (${posted.status})`);
  // A thousand requests at once are each answered, served or refused with 503, none dropped.
  const burst = await Promise.allSettled(Array.from({length: 1000}, () =>
    fetch(`${ows}SERVICE=WMS&VERSION=1.3.0&REQUEST=GetProjectSettings`).then((r) => r.status)));
  const statuses = burst.map((r) => (r.status === 'fulfilled' ? r.value : 'dropped'));
  check(statuses.every((st) => st === 200 || st === 503) && statuses.includes(200),
    `1000 requests at once answered 200 or 503 (${[...new Set(statuses)].join(', ')})`);
} catch (error) {
  check(false, `${error.message}\n${serverLog}`);
} finally {
  await browser.close();
  // serve.sh stops its servers when it is told to stop; nothing of its group may stay.
  try { process.kill(-server.pid, 'SIGTERM'); } catch { /* ended already */ }
  let left = '';
  for (let i = 0; i < 100; ++i) {
    try {
      left = execFileSync('ps', ['-o', 'pid=,args=', '-g', String(server.pid)], {encoding: 'utf8'}).trim();
    } catch {
      left = ''; // ps finds no process of the group
    }
    if (!left) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  check(!left, `the servers stopped${left ? `; still running:\n${left}` : ''}`);
  // Killed outright (SIGKILL, no clean-up of its own), serve.sh takes its servers with it.
  const killed = spawn('bash', [path.join(source, 'scripts/serve.sh'), path.join(work, 'atlas.gpkg'),
    String(port)], {detached: true, stdio: ['ignore', 'pipe', 'ignore']});
  let said = '';
  killed.stdout.on('data', (d) => { said += d; });
  for (let i = 0; !said.includes('http://127.0.0.1') && i < 600 && killed.exitCode === null; ++i)
    await new Promise((r) => setTimeout(r, 100));
  process.kill(killed.pid, 'SIGKILL');
  let orphans = '';
  for (let i = 0; i < 100; ++i) {
    try {
      orphans = execFileSync('ps', ['-o', 'pid=,args=', '-g', String(killed.pid)], {encoding: 'utf8'}).trim();
    } catch {
      orphans = '';
    }
    if (!orphans) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  check(said.includes('http://127.0.0.1') && !orphans,
    `a killed serve.sh leaves no server${orphans ? `; still running:\n${orphans}` : ''}`);
  try { process.kill(-killed.pid, 'SIGKILL'); } catch { /* none left */ }
  fs.rmSync(work, {recursive: true, force: true});
}
process.exit(failures.length ? 1 : 0);
