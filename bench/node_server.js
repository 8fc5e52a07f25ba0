// A static file server on Node's own http and fs modules, the few lines a
// developer would write instead of installing a package: content types for
// the bench's files, single byte ranges, streaming with fs.createReadStream.
// Usage: node node_server.js PORT ROOT
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const port = Number(process.argv[2]);
const root = path.resolve(process.argv[3]);
const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css',
  '.mp4': 'video/mp4', '.json': 'application/json',
};

http.createServer((req, res) => {
  let rel = decodeURIComponent(req.url.split('?')[0]);
  if (rel.endsWith('/')) rel += 'index.html';
  const file = path.join(root, path.normalize(rel));
  if (!file.startsWith(root + path.sep)) { res.writeHead(400); res.end('bad path'); return; }
  fs.stat(file, (err, st) => {
    if (err || !st.isFile()) { res.writeHead(404); res.end('Not Found'); return; }
    const type = types[path.extname(file)] || 'application/octet-stream';
    let first = 0, last = st.size - 1, status = 200;
    const headers = { 'Content-Type': type, 'Accept-Ranges': 'bytes' };
    const m = /^bytes=(\d+)-(\d*)$/.exec(req.headers.range || '');
    if (m && st.size > 0) {
      const a = Number(m[1]);
      const b = m[2] === '' ? st.size - 1 : Math.min(Number(m[2]), st.size - 1);
      if (a <= b) {
        first = a; last = b; status = 206;
        headers['Content-Range'] = `bytes ${a}-${b}/${st.size}`;
      }
    }
    headers['Content-Length'] = st.size === 0 ? 0 : last - first + 1;
    res.writeHead(status, headers);
    if (req.method === 'HEAD' || st.size === 0) { res.end(); return; }
    const stream = fs.createReadStream(file, { start: first, end: last, highWaterMark: 65536 });
    stream.on('error', () => res.destroy());
    stream.pipe(res);
  });
}).listen(port, '127.0.0.1');
