// Validates a glTF file (.gltf with the files it names, or .glb) with the
// Khronos glTF validator, installed by scripts/setup.sh --tests into
// build-tools/gltf-validator, and prints "errors: N, warnings: N" and then
// each error, one a line. Exit status 0 when the validator ran, whatever it
// found; 2 when it could not.
//
//   node tests/gltf_validate.js FILE
'use strict';

const fs = require('fs');
const path = require('path');

const moduleDir = path.join(__dirname, '..', 'build-tools', 'gltf-validator', 'node_modules',
    'gltf-validator');

function main() {
  const file = process.argv[2];
  if (!file) {
    console.error('usage: node tests/gltf_validate.js FILE');
    process.exit(2);
  }
  const validator = require(moduleDir);
  const folder = path.dirname(file);
  const options = {
    uri: path.basename(file),
    maxIssues: 0,  // every issue
    externalResourceFunction: (uri) => new Promise((resolve, reject) => {
      fs.readFile(path.join(folder, decodeURIComponent(uri)),
          (error, data) => error ? reject(error.toString()) : resolve(new Uint8Array(data)));
    }),
  };
  let bytes;
  try {
    bytes = new Uint8Array(fs.readFileSync(file));
  } catch (error) {
    console.error(`gltf_validate: ${error.message}`);
    process.exit(2);
  }
  validator.validateBytes(bytes, options).then((report) => {
    const issues = report.issues;
    console.log(`errors: ${issues.numErrors}, warnings: ${issues.numWarnings}`);
    for (const message of issues.messages) {
      if (message.severity === 0) {
        console.log(`${message.code} at ${message.pointer || message.offset}: ${message.message}`);
      }
    }
  }).catch((error) => {
    console.error(`gltf_validate: ${error}`);
    process.exit(2);
  });
}

main();
