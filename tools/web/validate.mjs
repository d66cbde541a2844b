// node validate.mjs FILE...
//
// Runs the Khronos glTF Validator over each .glb or .gltf file and prints one
// line per file with its error, warning, info and hint counts, followed by
// every error and warning. Exits 1 when any file has an error or a warning,
// 2 when a file cannot be read at all.
//
// Resources a file names by URI (a .gltf's .bin, texture images) are loaded
// from beside it. A texture file that is not there is reported by the
// validator like any other unreadable resource, so the models checked must
// name only textures that exist, or none.
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import validator from 'gltf-validator';

async function validate(file) {
    const bytes = new Uint8Array(await readFile(file));
    const folder = path.dirname(file);
    return validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 0,
        externalResourceFunction: async (uri) =>
            new Uint8Array(await readFile(path.resolve(folder, decodeURIComponent(uri)))),
    });
}

const files = process.argv.slice(2);
if (files.length === 0) {
    console.error('usage: node validate.mjs FILE...');
    process.exit(2);
}

let failed = 0;
for (const file of files) {
    let report;
    try {
        report = await validate(file);
    } catch (error) {
        console.error(`${file}: cannot be validated: ${error}`);
        process.exit(2);
    }
    const { numErrors, numWarnings, numInfos, numHints, messages } = report.issues;
    console.log(`${file}: ${numErrors} errors, ${numWarnings} warnings, ${numInfos} infos, ${numHints} hints`);
    for (const message of messages) {
        if (message.severity > 1) continue; // 0 error, 1 warning, 2 info, 3 hint
        const kind = message.severity === 0 ? 'error' : 'warning';
        console.log(`  ${kind} ${message.code} at ${message.pointer ?? message.offset ?? '?'}: ${message.message}`);
    }
    if (numErrors > 0 || numWarnings > 0) ++failed;
}
if (failed > 0) {
    console.log(`${failed} of ${files.length} files have errors or warnings`);
    process.exit(1);
}
console.log(`all ${files.length} files valid: 0 errors, 0 warnings`);
