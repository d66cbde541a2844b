// node image-uris.mjs FILE...
//
// Prints, one per line, the file names (URIs decoded) of the images that the
// given .glb or .gltf files refer to outside themselves: the texture files a
// user places beside a converted model.
import { readFileSync } from 'node:fs';

function jsonOf(bytes) {
    // A .glb: 12-byte header, then the JSON chunk (length, type, data).
    if (bytes.length >= 20 && bytes.readUInt32LE(0) === 0x46546c67) {
        return JSON.parse(bytes.subarray(20, 20 + bytes.readUInt32LE(12)).toString('utf8'));
    }
    return JSON.parse(bytes.toString('utf8'));
}

const names = new Set();
for (const file of process.argv.slice(2)) {
    for (const image of jsonOf(readFileSync(file)).images ?? []) {
        if (image.uri !== undefined && !image.uri.startsWith('data:')) names.add(decodeURIComponent(image.uri));
    }
}
for (const name of names) console.log(name);
