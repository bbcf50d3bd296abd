// Scans a small project with one source file per language through the real
// lodestar, then reads one method of each by its symbol id with the official
// MCP TypeScript SDK client. The answer must be the method's lines as they
// stand in the file: its signature, its closing line, and nothing of the
// methods around it. Each check prints one line; a failed check prints the
// difference and sets the exit status.
//
// usage: node lodestar_read_languages.mjs URL WORK_DIR
//   (run through run_with_server.sh, which starts lodestar with
//    TSL_DATA_DIR=WORK_DIR/data and no TESSEL_PROJECT_ROOT)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { callJson, check } from './checks.mjs';

// One row a language: a file of fixtures/languages, the symbol read from it
// (the name after "file::"), and the line the method starts with, as written
// there without its indentation.
const kMethods = [
  { language: 'C++', file: 'counter.cpp', symbol: 'Counter.next', signature: 'int Counter::next() {' },
  { language: 'Rust', file: 'shapes.rs', symbol: 'Square.area', signature: 'fn area(&self) -> f64 {' },
  { language: 'Java', file: 'Cart.java', symbol: 'Cart.Line.total', signature: 'long total() {' },
  { language: 'Go', file: 'stack.go', symbol: 'Stack.Push', signature: 'func (s *Stack) Push(v int) {' },
  { language: 'Ruby', file: 'invoice.rb', symbol: 'Billing.Invoice.total', signature: 'def total' },
  { language: 'PHP', file: 'mailer.php', symbol: 'send', signature: 'public function send($to) {' },
  { language: 'Kotlin', file: 'Server.kt', symbol: 'Server.start', signature: 'fun start() {' },
  { language: 'Swift', file: 'Player.swift', symbol: 'Player.reset', signature: 'func reset() {' },
];

const [url, work] = process.argv.slice(2);
const data = path.join(work, 'data');
const fixtures = fileURLToPath(new URL('./fixtures/languages', import.meta.url));
const projectDir = path.join(work, 'proj');
fs.cpSync(fixtures, projectDir, { recursive: true });

const indentation = (line) => line.match(/^\s*/)[0];

// The fixture's lines from the one reading `signature` through the first
// later line indented as far as it: the closing brace or "end" of a method
// written the way every fixture file is.
function methodLines(text, signature) {
  const lines = text.split('\n');
  const starts = lines.flatMap((line, i) => (line.trim() === signature ? [i] : []));
  assert.equal(starts.length, 1, `"${signature}" must stand on exactly one line`);
  const [start] = starts;
  const end = lines.findIndex((line, i) => i > start && line.trim() !== '' &&
    indentation(line) === indentation(lines[start]));
  assert.ok(end > start, `no line closes "${signature}"`);
  return lines.slice(start, end + 1).join('\n');
}

const client = new Client({ name: 'tessel-read-languages', version: '0.0.1' });
await client.connect(new StreamableHTTPClientTransport(new URL(url)));
await callJson(client, 'graph_scan', { project_root: projectDir });
const scanned = new Set(JSON.parse(fs.readFileSync(path.join(data, 'info_graph.json'), 'utf8')).nodes.map((n) => n.id));

for (const { language, file, symbol, signature } of kMethods) {
  const id = `${file}::${symbol}`;
  check(`${language}: the scan lists ${id}`, () => assert.ok(scanned.has(id)));
  const read = await callJson(client, 'graph_read', { file: id });
  check(`${language}: graph_read of ${id} is the method's lines`, () => {
    const expected = methodLines(fs.readFileSync(path.join(fixtures, file), 'utf8'), signature);
    assert.deepEqual(read, { ok: true, file: id, content: expected, mode: 'symbol_excerpt' });
  });
}
await client.close();
