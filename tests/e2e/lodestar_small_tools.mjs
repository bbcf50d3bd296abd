// Drives the real lodestar with the official MCP TypeScript SDK client: the
// four small tools, then every plain HTTP route. Each check prints one
// line; a failed check prints the difference and exits 1.
//
// usage: node lodestar_small_tools.mjs URL BASE_URL WORK_DIR
//   (run through run_with_server.sh, which starts lodestar with
//    TSL_DATA_DIR=WORK_DIR/data and no TESSEL_PROJECT_ROOT)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { call, callJson, check } from './checks.mjs';

const [url, base, work] = process.argv.slice(2);
const data = path.join(work, 'data');
const project = path.join(work, 'proj');

async function http(method, route, body, headers = {}) {
  const res = await fetch(base + route, { method, body, headers });
  return { status: res.status, type: res.headers.get('content-type'), text: await res.text() };
}

// The priming text of a fresh data directory, before anything happened.
const fresh = await http('GET', '/prime');
check('prime of a fresh data directory', () => {
  assert.equal(fresh.status, 200);
  assert.match(fresh.type, /^text\/plain/);
  assert.equal(fresh.text, '# Tessel Context\nProject: /app/project\n\n(No prior edits recorded \u2014 graph is fresh)');
});

const client = new Client({ name: 'tessel-e2e', version: '0.0.1' });
await client.connect(new StreamableHTTPClientTransport(new URL(url)));

const { tools } = await client.listTools();
const byName = Object.fromEntries(tools.map((t) => [t.name, t]));
check('server identity', () => assert.equal(client.getServerVersion().name, 'tessel-mcp'));
check('small tools listed in table order', () => {
  const order = tools.map((t) => t.name).filter((n) => ['graph_neighbors', 'graph_impact', 'graph_add_memory', 'graph_scan'].includes(n));
  assert.deepEqual(order, ['graph_neighbors', 'graph_impact', 'graph_add_memory', 'graph_scan']);
});
check('tool schemas', () => {
  assert.deepEqual(byName.graph_neighbors.inputSchema, {
    properties: { file: { title: 'File', type: 'string' }, limit: { default: 30, title: 'Limit', type: 'integer' } },
    required: ['file'], title: 'graph_neighborsArguments', type: 'object' });
  assert.deepEqual(byName.graph_add_memory.inputSchema.properties.tags,
    { anyOf: [{ items: { type: 'string' }, type: 'array' }, { type: 'null' }], default: null, title: 'Tags' });
  assert.deepEqual(byName.graph_scan.inputSchema.required, ['project_root']);
});
check('tool descriptions', () => {
  assert.equal(byName.graph_neighbors.description, 'Return graph edges touching a file.');
  assert.equal(byName.graph_impact.description, 'Return connected local files likely impacted by edits.');
  assert.ok(byName.graph_scan.description.endsWith('project_root: Absolute path to the project directory to scan.\n        '));
});

fs.mkdirSync(path.join(project, 'src'), { recursive: true });
fs.writeFileSync(path.join(project, 'src', 'app.py'), 'from src.util import helper\n\ndef main():\n    return helper()\n');
fs.writeFileSync(path.join(project, 'src', 'util.py'), 'def helper():\n    return 42\n');
fs.writeFileSync(path.join(project, 'README.md'), '# Demo project\nSee src/app.py and src/util.py.\n');

const scan = await callJson(client, 'graph_scan', { project_root: project });
check('graph_scan counts', () => assert.deepEqual(scan, {
  ok: true, project_root: fs.realpathSync(project), file_count: 3, symbol_count: 2, edge_count: 5,
  message: 'Graph built. Use graph_continue or graph_retrieve to query.' }));
check('graph_scan wrote both documents', () => {
  const graph = JSON.parse(fs.readFileSync(path.join(data, 'info_graph.json'), 'utf8'));
  assert.equal(graph.root, fs.realpathSync(project));
  const index = fs.readFileSync(path.join(data, 'symbol_index.json'), 'utf8');
  assert.ok(!index.includes('\n'));
  assert.deepEqual(Object.keys(JSON.parse(index)).sort(), ['src/app.py::main', 'src/util.py::helper']);
  assert.deepEqual(JSON.parse(fs.readFileSync(path.join(data, 'chat_action_graph.json'), 'utf8')),
    { nodes: [], edges: [], files: {}, actions: [] });
});
const rescan = await callJson(client, 'graph_scan', { project_root: project });
check('second scan gives the same counts', () => assert.equal(rescan.edge_count, scan.edge_count));

const neighbors = await callJson(client, 'graph_neighbors', { file: 'src/app.py', limit: 0 });
check('graph_neighbors with limit 0 returns the first edge', () => {
  // The root's own files are walked first, so the README's mention leads.
  assert.equal(neighbors.neighbors.length, 1);
  assert.deepEqual(neighbors.neighbors[0], { from: 'README.md', to: 'src/app.py', rel: 'references' });
});
const impact = await callJson(client, 'graph_impact', { changed_files: ['src/util.py'] });
check('graph_impact', () => assert.deepEqual(impact, {
  // README.md has no directory, so it is not a local file reference; the
  // file's own symbol is.
  ok: true, changed_files: ['src/util.py'], connected_files: ['src/util.py::helper'],
  untouched_connected_files: ['src/util.py::helper'] }));

const added = await callJson(client, 'graph_add_memory', { type: 'fact', content: 'helper returns the answer' });
check('graph_add_memory', () => {
  assert.deepEqual(added, { ok: true, total: 1, pruned: 0 });
  const store = JSON.parse(fs.readFileSync(path.join(data, 'context-store.json'), 'utf8'));
  assert.equal(store[0].kind, 'fact');
  assert.deepEqual(store[0].tags, []);
});

const notDir = await callJson(client, 'graph_scan', { project_root: path.join(project, 'README.md') });
check('graph_scan of a file', () => assert.deepEqual(notDir,
  { ok: false, error: 'Not a directory: ' + path.join(fs.realpathSync(project), 'README.md') }));
const missing = await callJson(client, 'graph_scan', { project_root: '~/no/such/dir/here' });
check('graph_scan of a missing ~ path', () => assert.equal(missing.error, 'Not a directory: ' + path.join(os.homedir(), 'no/such/dir/here')));
const badType = await call(client, 'graph_neighbors', { file: 7 });
check('wrong argument type is a tool error', () => {
  assert.equal(badType.isError, true);
  assert.match(badType.text, /^Error executing tool graph_neighbors: .*'file'/);
});
const unknown = await call(client, 'no_such_tool', {});
check('unknown tool', () => assert.deepEqual(unknown, { isError: true, text: 'Unknown tool: no_such_tool' }));
await client.close();

const opus = await http('POST', '/log', JSON.stringify({ model: 'claude-opus-4', input_tokens: 1000, output_tokens: 200,
  cache_creation_input_tokens: 5000, cache_read_input_tokens: 20000 }));
const other = await http('POST', '/log', JSON.stringify({ model: 'sonnet', input_tokens: '1000', output_tokens: 200,
  cache_creation_input_tokens: 5000, cache_read_input_tokens: 20000 }));
const empty = await http('POST', '/log', '{}');
const badCount = await http('POST', '/log', JSON.stringify({ input_tokens: 'many' }));
check('token log', () => {
  assert.equal(opus.text, '{"ok":true,"cost_usd":0.15375}');
  assert.equal(other.text, '{"ok":true,"cost_usd":0.03075}');
  assert.equal(empty.text, '{"ok":true,"cost_usd":0.0}');
  assert.deepEqual([badCount.status, badCount.text], [400, '{"ok":false}']);
  const lines = fs.readFileSync(path.join(data, 'token_log.jsonl'), 'utf8').trim().split('\n').map(JSON.parse);
  assert.equal(lines.length, 3);
  assert.equal(lines[2].model, 'unknown');
  assert.equal(lines[2].total_tokens, 0);
});

const primed = await http('GET', '/prime');
check('prime after the scan', () => {
  assert.equal(primed.text, `# Tessel Context\nProject: ${fs.realpathSync(project)}\nFiles scanned: 3\n\n## Memories\n- helper returns the answer`);
});

const ingested = await http('POST', '/ingest-graph', JSON.stringify({ nodes: [], edges: [] }));
const noEdges = await http('POST', '/ingest-graph', JSON.stringify({ nodes: [] }));
const notJson = await http('POST', '/ingest-graph', '{nodes');
check('graph upload', () => {
  assert.deepEqual([ingested.status, ingested.text], [200, '{"ok":true,"node_count":0,"edge_count":0}']);
  assert.equal(JSON.parse(fs.readFileSync(path.join(data, 'info_graph.json'), 'utf8')).root, fs.realpathSync(project));
  assert.deepEqual([noEdges.status, noEdges.text], [400, '{"ok":false,"error":"missing nodes/edges"}']);
  assert.equal(notJson.status, 400);
  assert.match(JSON.parse(notJson.text).error, /parse error/);
});

const wrongMethod = await http('POST', '/prime', '');
const wrongGet = await http('GET', '/ingest-graph');
const foreign = await http('GET', '/prime', undefined, { Origin: 'http://evil.example' });
const local = await http('GET', '/prime', undefined, { Origin: 'http://localhost:3000' });
const scanner = await http('GET', '/surveyor.py');
const launcher = await http('GET', '/tsl');
const install = await http('GET', '/install.sh');
check('methods, origins and distribution files', () => {
  assert.equal(wrongMethod.status, 405);
  assert.equal(wrongGet.status, 405);
  assert.equal(foreign.status, 403);
  assert.equal(local.status, 200);
  assert.equal(scanner.status, 200);
  assert.equal(scanner.type, 'application/octet-stream');
  assert.equal(launcher.status, 200);
  assert.ok(install.text.includes(`BASE="${base}"`));
});
