// node preview.mjs MODEL OUT.png
//
// Renders MODEL (.glb or .gltf) with three.js in headless Chromium and saves
// the picture as OUT.png. The page is served from a private HTTP server on
// the loopback interface: / is preview.html, /three/ the three.js package,
// /model the model, and every other path a file beside the model (a .gltf's
// .bin, its textures).
//
// Prints one line with what the page saw. Exits 0 when the model loaded, the
// page logged no error, and the model covers at least 1 % of the picture;
// 1 otherwise; 2 on a usage error or when the browser cannot be started.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const [modelPath, outPath] = process.argv.slice(2);
if (!modelPath || !outPath) {
    console.error('usage: node preview.mjs MODEL OUT.png');
    process.exit(2);
}
const modelFolder = path.dirname(path.resolve(modelPath));
const threeRoot = path.join(here, 'node_modules', 'three');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png', '.jpg': 'image/jpeg',
                '.jpeg': 'image/jpeg', '.glb': 'model/gltf-binary', '.gltf': 'model/gltf+json',
                '.bin': 'application/octet-stream' };

// Maps a request path to a file, never outside the folders it serves.
function fileFor(urlPath) {
    const decoded = decodeURIComponent(urlPath);
    if (decoded === '/') return path.join(here, 'preview.html');
    if (decoded === '/model') return path.resolve(modelPath);
    const [root, rest] = decoded.startsWith('/three/') ? [threeRoot, decoded.slice(7)] : [modelFolder, decoded.slice(1)];
    const file = path.resolve(root, rest);
    return file.startsWith(root + path.sep) ? file : null;
}

const server = createServer(async (request, response) => {
    if (request.url === '/favicon.ico') {
        response.writeHead(204);
        response.end();
        return;
    }
    const file = fileFor(new URL(request.url, 'http://localhost').pathname);
    try {
        if (!file) throw new Error('outside');
        const body = await readFile(file);
        const type = file === path.resolve(modelPath) ? types[path.extname(modelPath)] : types[path.extname(file)];
        response.writeHead(200, { 'Content-Type': type ?? 'application/octet-stream' });
        response.end(body);
    } catch {
        response.writeHead(404);
        response.end();
    }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

// Flags for a sandboxed CI machine: software WebGL, no network beyond
// loopback, a fresh profile.
const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-quic',
           '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'],
}).catch((error) => {
    console.error(`preview: cannot start Chromium: ${error.message}`);
    server.close();
    process.exit(2);
});

const problems = [];
let result;
try {
    const page = await browser.newPage({ viewport: { width: 640, height: 480 } });
    page.on('console', (message) => {
        if (message.type() === 'error') problems.push(`console: ${message.text()}`);
    });
    page.on('pageerror', (error) => problems.push(`page: ${error.message}`));
    page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
    page.on('response', (response) => {
        if (response.status() >= 400) problems.push(`HTTP ${response.status()}: ${response.url()}`);
    });
    await page.goto(url);
    await page.waitForFunction(() => window.previewResult !== undefined, null, { timeout: 60000 });
    result = await page.evaluate(() => window.previewResult);
    await page.screenshot({ path: outPath });
} catch (error) {
    result = { ok: false, error: error.message };
} finally {
    await browser.close();
    server.close();
}

if (!result.ok) problems.push(`load: ${result.error}`);
const coverage = result.ok ? result.coveredPixels / result.totalPixels : 0;
if (result.ok && coverage < 0.01) problems.push(`blank: the model covers ${(coverage * 100).toFixed(2)} % of the picture`);
const summary = result.ok
    ? `${result.meshes} meshes, ${result.triangles} triangles, ${result.animations} animations, ` +
      `${(coverage * 100).toFixed(1)} % of the picture covered`
    : 'not loaded';
console.log(`${modelPath}: ${summary}${problems.length ? '' : ', no errors'}`);
for (const problem of problems) console.log(`  ${problem}`);
process.exit(problems.length ? 1 : 0);
