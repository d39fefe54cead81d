// peer_yencode.js - the npm package yencode as a decoder of whole yEnc article files, for the benchmark.
//
// Usage: node peer_yencode.js OUTPUT ARTICLE... (one part per article, in order).
// Decodes each part's data, checks its pcrc32 and the whole file's crc32
// (combined from the part CRCs), and appends the bytes to OUTPUT.
'use strict';
const fs = require('fs');
const y = require('yencode');

const [output, ...articles] = process.argv.slice(2);
const fd = fs.openSync(output, 'w');
let whole = null;
let expected = null;
for (const name of articles) {
  const article = fs.readFileSync(name);
  const part = article.indexOf('\r\n=ypart ');
  const start = article.indexOf('\r\n', part + 2) + 2;
  const end = article.lastIndexOf('\r\n=yend ');
  const data = y.decode(article.subarray(start, end + 2));
  const crc = y.crc32(data);
  const trailer = article.toString('latin1', end + 2);
  const pcrc = / pcrc32=([0-9a-fA-F]{8})/.exec(trailer);
  if (!pcrc || pcrc[1].toLowerCase() !== crc.toString('hex')) throw new Error(`CRC mismatch in ${name}`);
  whole = whole === null ? crc : y.crc32_combine(whole, crc, data.length);
  const fcrc = / crc32=([0-9a-fA-F]{8})/.exec(trailer);
  if (fcrc) expected = fcrc[1].toLowerCase();
  fs.writeSync(fd, data);
}
fs.closeSync(fd);
if (expected !== null && whole.toString('hex') !== expected) throw new Error('whole-file CRC mismatch');
