// Plays one agent session against the real lodestar with the official MCP
// TypeScript SDK client, on a small real project: continue without a
// graph, scan, continue (retrieve then read), reads of a file and of a
// symbol (charged, repeated, stale after an edit), edit registration,
// continue again (memory first), the action summary, the fallback search
// and its ration, and the priming text. The state files are checked after
// every step. Each check prints one line; a failed check prints the
// difference and sets the exit status.
//
// usage: node lodestar_agent_session.mjs URL BASE_URL WORK_DIR LODESTAR_DIR
//   (run through run_with_server.sh, which starts lodestar with
//    TSL_DATA_DIR=WORK_DIR/data and no TESSEL_PROJECT_ROOT)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { callJson, check } from './checks.mjs';

const [url, base, work, lodestarDir] = process.argv.slice(2);
const data = path.join(work, 'data');
const projectDir = path.join(work, 'proj');

const exists = (name) => fs.existsSync(path.join(data, name));
const readJson = (name) => JSON.parse(fs.readFileSync(path.join(data, name), 'utf8'));
const logLines = () =>
  fs.readFileSync(path.join(data, 'mcp_tool_calls.jsonl'), 'utf8').trim().split('\n').map((l) => JSON.parse(l));
const lastLog = () => logLines().at(-1);
const actionKinds = () => readJson('chat_action_graph.json').actions.map((a) => a.kind);
const memories = () => readJson('context-store.json');

// A small accounts service: a login handler, sessions, users, routes, a
// test and a README (six files, more than a cold start).
const loginPy = [
  '"""Login endpoint: checks a user\'s password and opens a session."""',
  'from src.auth.session import open_session',
  'from src.db.users import find_user',
  '',
  '',
  'def login_handler(request):',
  '    user = find_user(request["username"])',
  '    if user is None or user.password != request["password"]:',
  '        return {"status": 401}',
  '    return {"status": 200, "session": open_session(user)}',
  ''].join('\n');
const files = {
  'src/auth/login.py': loginPy,
  'src/auth/session.py': 'import secrets\n\nSESSIONS = {}\n\n\ndef open_session(user):\n    token = secrets.token_hex(16)\n' +
    '    SESSIONS[token] = user.name\n    return token\n\n\ndef close_session(token):\n    SESSIONS.pop(token, None)\n',
  'src/db/users.py': 'class User:\n    def __init__(self, name, password):\n        self.name = name\n' +
    '        self.password = password\n\n\nUSERS = {"ada": User("ada", "lovelace")}\n\n\n' +
    'def find_user(name):\n    return USERS.get(name)\n',
  'src/api/routes.py': 'from src.auth.login import login_handler\n\nROUTES = {"/login": login_handler}\n',
  'tests/test_login.py': 'from src.auth.login import login_handler\n\n\ndef test_wrong_password():\n' +
    '    assert login_handler({"username": "ada", "password": "x"})["status"] == 401\n',
  'README.md': '# Accounts service\nLogin and sessions for the demo shop. Entry point: src/api/routes.py.\n',
};
for (const [rel, text] of Object.entries(files)) {
  fs.mkdirSync(path.dirname(path.join(projectDir, rel)), { recursive: true });
  fs.writeFileSync(path.join(projectDir, rel), text);
}
const project = fs.realpathSync(projectDir);

const client = new Client({ name: 'tessel-agent-session', version: '0.0.1' });
await client.connect(new StreamableHTTPClientTransport(new URL(url)));

const { tools } = await client.listTools();
check('all ten tools in table order', () => assert.deepEqual(tools.map((t) => t.name), [
  'graph_retrieve', 'graph_read', 'graph_neighbors', 'graph_impact', 'graph_register_edit', 'graph_action_summary',
  'graph_continue', 'fallback_rg', 'graph_add_memory', 'graph_scan']));
const byName = Object.fromEntries(tools.map((t) => [t.name, t]));
check('graph_continue description and schema', () => {
  const d = byName.graph_continue.description;
  assert.ok(d.startsWith('\n        Continue a conversation using action-memory search first'));
  assert.ok(d.includes('        IMPORTANT \u2014 project setup check:\n'));
  assert.ok(d.endsWith('        Do NOT attempt to answer the query until graph_scan has been called.\n        '));
  assert.deepEqual(byName.graph_continue.inputSchema, {
    properties: { query: { title: 'Query', type: 'string' },
      top_files: { default: 5, title: 'Top Files', type: 'integer' },
      top_edges: { default: 12, title: 'Top Edges', type: 'integer' },
      limit: { default: 8, title: 'Limit', type: 'integer' } },
    required: ['query'], title: 'graph_continueArguments', type: 'object' });
});
check('graph_register_edit and graph_action_summary schemas', () => {
  assert.equal(byName.graph_register_edit.description, 'Register edited files into in-chat action graph memory.');
  assert.deepEqual(byName.graph_register_edit.inputSchema.properties.files,
    { anyOf: [{ type: 'string' }, { items: { type: 'string' }, type: 'array' }], title: 'Files' });
  assert.equal(byName.graph_action_summary.description, 'Return recent action graph summary + query-relevant touched files.');
  assert.deepEqual(byName.graph_action_summary.inputSchema.properties.limit, { default: 12, title: 'Limit', type: 'integer' });
});

// 1. The agent's first call, before any scan.
const query = 'add rate limiting to the login handler';
const noGraph = await callJson(client, 'graph_continue', { query });
check('continue without a graph asks for a project', () => {
  assert.deepEqual(noGraph, { ok: false, needs_project: true, query, project_root: '/app/project',
    surveyor: path.join(lodestarDir, 'surveyor'), ingest_url: base + '/ingest-graph' });
  fs.accessSync(noGraph.surveyor, fs.constants.X_OK);
  assert.ok(!exists('mcp_tool_calls.jsonl'), 'nothing is logged');
  assert.ok(!exists('chat_action_graph.json'), 'nothing is recorded');
});

// 2. The user names the directory; the agent scans it.
const scan = await callJson(client, 'graph_scan', { project_root: projectDir });
check('graph_scan of the project', () => {
  assert.deepEqual([scan.ok, scan.project_root, scan.file_count, scan.symbol_count], [true, project, 6, 5]);
  assert.deepEqual(readJson('chat_action_graph.json'), { nodes: [], edges: [], files: {}, actions: [] });
  assert.equal(readJson('symbol_index.json')['src/auth/login.py::login_handler'].line_start, 5);
  assert.ok(!exists('retrieval_cache.json'));
  assert.deepEqual(logLines().map((l) => l.tool), ['graph_scan']);
});

// 3. Continue again: a ranked retrieval opens the query turn.
const first = await callJson(client, 'graph_continue', { query });
const queryKey = 'add rate limiting login handler';
check('continue retrieves then reads', () => {
  assert.equal(first.mode, 'retrieve_then_read');
  assert.equal(first.project_root, project);
  assert.equal(first.query, query);
  const limits = { high: 0, medium: 2, low: 3 };
  assert.ok(first.confidence in limits, first.confidence);
  assert.equal(first.max_supplementary_greps, first.intent === 'explore' ? Math.max(2, limits[first.confidence])
    : limits[first.confidence]);
  assert.equal(first.max_supplementary_files, first.max_supplementary_greps);
  assert.ok(first.recommended_files.length >= 1 && first.recommended_files.length <= 3);
  assert.deepEqual(first.recommended_files[0], { file: 'src/auth/login.py', access_type: 'new' });
  assert.deepEqual(first.memories, []);
});
check('state after the retrieval', () => {
  assert.deepEqual(logLines().map((l) => l.tool), ['graph_scan', 'graph_retrieve', 'graph_continue']);
  assert.deepEqual(lastLog().payload, { query, mode: 'retrieve_then_read', confidence: first.confidence,
    recommended_files: first.recommended_files.map((f) => f.file) });
  const g = readJson('chat_action_graph.json');
  assert.deepEqual(g.nodes[0], { id: `query:${queryKey}`, type: 'query', meta: { text: query } });
  assert.ok(g.edges.some((e) => e.from === `query:${queryKey}` && e.to === 'src/auth/login.py' && e.rel === 'retrieved'));
  assert.deepEqual(actionKinds(), ['retrieve', 'continue_retrieve']);
  assert.deepEqual(g.actions[1].payload, { kind: 'continue_retrieve', query });
  const entry = readJson('retrieval_cache.json').entries[`${queryKey}|tf=5|te=12`];
  assert.ok(entry.files.includes('src/auth/login.py'));
  assert.equal(typeof entry.mtimes_ns['src/auth/login.py'], 'number');
});

// 4. Read the recommended file, then its handler (charged to the turn).
const fileRead = await callJson(client, 'graph_read', { file: 'src/auth/login.py', query });
check('read of a file', () => {
  assert.deepEqual(fileRead, { ok: true, file: 'src/auth/login.py', content: loginPy, mode: 'full' });
  const log = lastLog();
  assert.equal(log.tool, 'graph_read');
  assert.deepEqual([log.payload.response_chars, log.payload.budget_used_chars, log.payload.budget_remaining_chars],
    [loginPy.length, loginPy.length, 60000 - loginPy.length]);
  const record = readJson('chat_action_graph.json').files['src/auth/login.py'];
  assert.deepEqual(record.query_terms, ['add', 'rate', 'limiting', 'login', 'handler']);
  assert.equal(record.cached_chars, loginPy.length);
  assert.equal(record.last_action, 'read');
  const association = memories().find((m) => m.kind === 'query_association');
  assert.equal(association.content, `Queried during: ${query}`);
  assert.equal(association.file_path, 'src/auth/login.py');
});

const handler = loginPy.split('\n').slice(5, 10).join('\n');
const symbolRead = await callJson(client, 'graph_read', { file: 'src/auth/login.py::login_handler' });
check('read of a file::symbol', () => {
  assert.deepEqual(symbolRead, { ok: true, file: 'src/auth/login.py::login_handler', content: handler,
    mode: 'symbol_excerpt' });
  assert.equal(lastLog().payload.budget_used_chars, loginPy.length + handler.length);
  assert.equal(actionKinds().at(-1), 'read');
});

const repeat = await callJson(client, 'graph_read', { file: 'src/auth/login.py::login_handler' });
check('repeated read answered with a preview', () => {
  assert.deepEqual(repeat, { ok: true, file: 'src/auth/login.py::login_handler', content: handler.slice(0, 200),
    mode: 'dedupe_preview', already_returned: true });
  assert.equal(lastLog().payload.mode, 'dedupe_preview');
  assert.equal(actionKinds().length, 4, 'a repeat records nothing');
});

// 5. The agent edits the handler's lines, reads it again and registers the edit.
const editedPy = loginPy.replace('return {"status": 401}', 'return {"status": 429}');
fs.writeFileSync(path.join(projectDir, 'src/auth/login.py'), editedPy);
const staleRead = await callJson(client, 'graph_read', { file: 'src/auth/login.py::login_handler', anchor: 'STATUS' });
check('read after the edit is flagged stale', () => {
  assert.equal(staleRead.mode, 'anchor_excerpt');
  assert.ok(staleRead.content.includes('429'));
  assert.equal(staleRead.stale, true);
  assert.equal(staleRead.stale_reason, 'symbol body changed since last graph scan \u2014 consider running graph_scan again');
  assert.equal(lastLog().payload.budget_used_chars, loginPy.length + handler.length + staleRead.content.length);
});

const summary = 'Login handler answers 429 after repeated failures';
const edit = await callJson(client, 'graph_register_edit', { files: 'src/auth/login.py', summary });
check('graph_register_edit', () => {
  assert.deepEqual(edit, { ok: true, edited_files: ['src/auth/login.py'], count: 1, retrieval_cache_invalidated: 1 });
  const g = readJson('chat_action_graph.json');
  assert.equal(g.decisions.length, 1);
  assert.deepEqual([g.decisions[0].summary, g.decisions[0].files, g.decisions[0].scope],
    [summary, ['src/auth/login.py'], 'file']);
  assert.equal(g.files['src/auth/login.py'].edited_count, 1);
  assert.equal(g.files['src/auth/login.py'].last_action, 'edited');
  assert.equal(actionKinds().at(-1), 'register_edit');
  assert.deepEqual(readJson('retrieval_cache.json').entries, {});
  const decision = memories().find((m) => m.kind === 'decision');
  assert.deepEqual([decision.content, decision.file_path, decision.evidence.recent_queries[0]],
    [summary, 'src/auth/login.py', query]);
  const observation = memories().find((m) => m.kind === 'edit_observation');
  assert.equal(observation.content, `Edited after query: ${query}`);
  assert.equal(observation.evidence.edited, true);
  assert.deepEqual(lastLog().payload, { files: ['src/auth/login.py'], summary });
});

// 6. A follow-up request on the same code is answered from memory.
const followUp = 'rate limiting tests for the login handler';
const second = await callJson(client, 'graph_continue', { query: followUp });
check('second continue answers memory first', () => {
  assert.equal(second.mode, 'memory_first');
  assert.equal(second.confidence, second.intent === 'explore' ? 'medium' : 'high');
  assert.equal(second.max_supplementary_files, 0);
  assert.deepEqual(second.recommended_files, [{ file: 'src/auth/login.py', access_type: 'write' }]);
  assert.deepEqual(second.memories.map((m) => m.kind), ['edit_observation', 'decision', 'query_association']);
  assert.equal(second.memories[1].why, '2 query term match, same file as retrieved context, recency 4.0');
  assert.deepEqual(lastLog().payload, { query: followUp, mode: 'memory_first', recommended_files: ['src/auth/login.py'] });
  assert.equal(actionKinds().at(-1), 'continue_memory_first');
  assert.ok(!logLines().slice(-2).some((l) => l.tool === 'graph_retrieve'), 'no second retrieval');
});

const overview = await callJson(client, 'graph_action_summary', { query: followUp });
check('graph_action_summary', () => {
  assert.deepEqual(overview.relevant_files, [{ file: 'src/auth/login.py', overlap: 4, last_action: 'edited',
    edited_count: 1, cached_tokens_est: Math.floor(loginPy.length / 4), last_ts: overview.relevant_files[0].last_ts }]);
  assert.match(overview.relevant_files[0].last_ts, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{6})?\+00:00$/);
  assert.deepEqual(overview.decisions.map((d) => d.summary), [summary]);
  assert.equal(overview.recent_actions.at(-1).kind, 'continue_memory_first');
  assert.ok(overview.recent_actions.length <= 12);
  assert.ok(overview.memories.length >= 3 && overview.memories.length <= 5);
  assert.ok(!('decisions_archive' in overview));
  assert.equal(actionKinds().at(-1), 'action_summary');
});

// 7. The fallback search, once per query turn.
const grep = await callJson(client, 'fallback_rg', { pattern: 'status', max_hits: 30 });
const again = await callJson(client, 'fallback_rg', { pattern: 'status' });
check('fallback_rg once per turn', () => {
  assert.equal(grep.ok, true);
  assert.ok(grep.hits.some((h) => h.file.endsWith('src/auth/login.py') && h.text.includes('429')));
  assert.equal(again.ok, false);
  assert.equal(again.error, 'fallback_rg call limit reached for this query turn');
  assert.deepEqual(logLines().slice(-2).map((l) => l.tool), ['fallback_rg', 'fallback_rg']);
});
await client.close();

// 8. A new conversation is primed with the edit, the decision and memories.
const prime = await (await fetch(base + '/prime')).text();
check('prime lists the edit, the decision and memories', () => {
  const lines = prime.split('\n');
  assert.deepEqual(lines.slice(0, 3), ['# Tessel Context', `Project: ${project}`, 'Files scanned: 6']);
  assert.ok(prime.includes('\n## Recently edited\n- src/auth/login.py (edited 1x)\n'));
  assert.ok(prime.includes(`\n## Decisions\n- ${summary}\n`));
  const memoryLines = prime.slice(prime.indexOf('\n## Memories\n')).split('\n').slice(2);
  assert.ok(memoryLines.length >= 3);
  assert.ok(memoryLines.includes(`- ${summary} (src/auth/login.py)`));
  assert.ok(memoryLines.includes(`- Edited after query: ${query} (src/auth/login.py)`));
});
