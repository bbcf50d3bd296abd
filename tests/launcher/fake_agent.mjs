#!/usr/bin/env node
// Stands in for Claude Code ("claude") and Codex CLI ("codex"), by the name
// it is started as. It reads the MCP server it was given from its command
// line, talks to it with the official MCP client, runs Claude Code's hooks
// from --settings as Claude Code would, and appends what it saw as one JSON
// line to $FAKE_AGENT_RECORD.
//
// Environment: FAKE_AGENT_RECORD (required); TESSEL_E2E_MODULES, the
// node_modules directory holding the MCP client; FAKE_AGENT_WAIT_FOR, a
// file to wait for before exiting; FAKE_AGENT_EXIT, the exit status (0).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const modules = process.env.TESSEL_E2E_MODULES;
const sdk = (file) => import(pathToFileURL(path.join(modules, '@modelcontextprotocol/sdk/dist/esm', file)).href);
const { Client } = await sdk('client/index.js');
const { StreamableHTTPClientTransport } = await sdk('client/streamableHttp.js');

const agent = path.basename(process.argv[1]);
const args = process.argv.slice(2);
const record = { agent, args, cwd: process.cwd() };

function optionValue(name) {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : undefined;
}

function serverUrl() {
  if (agent === 'codex') {
    const setting = optionValue('-c') ?? '';
    const match = /^mcp_servers\.tessel\.url="(.*)"$/.exec(setting);
    return match?.[1];
  }
  return JSON.parse(optionValue('--mcp-config') ?? '{}').mcpServers?.tessel?.url;
}

function runHook(command, input) {
  return execFileSync('sh', ['-c', command], { input: JSON.stringify(input), encoding: 'utf8', timeout: 10000 });
}

async function useServer(url) {
  const client = new Client({ name: 'fake-agent', version: '0.0.1' });
  await client.connect(new StreamableHTTPClientTransport(new URL(url)));
  record.tools = (await client.listTools()).tools.length;
  const answer = await client.callTool({ name: 'graph_continue', arguments: { query: 'where is f defined' } });
  record.continue_is_error = answer.isError ?? false;
  await client.close();
}

// Claude Code's hooks: the start of a conversation, then the end of a turn
// whose transcript holds one prompt and one answer.
function runClaudeHooks(url) {
  const hooks = JSON.parse(optionValue('--settings')).hooks;
  const startup = hooks.SessionStart.find((h) => h.matcher === 'startup');
  record.session_start_matchers = hooks.SessionStart.map((h) => h.matcher);
  record.prime_hook_output = runHook(startup.hooks[0].command, { source: 'startup', hook_event_name: 'SessionStart' });
  const transcript = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'fake-agent-')), 'transcript.jsonl');
  const lines = [
    { type: 'user', message: { role: 'user', content: 'hello' } },
    { type: 'assistant', message: { id: 'msg1', model: 'claude-fake-1',
      usage: { input_tokens: 11, output_tokens: 22, cache_creation_input_tokens: 33, cache_read_input_tokens: 44 } } },
  ];
  fs.writeFileSync(transcript, lines.map((l) => JSON.stringify(l)).join('\n') + '\n');
  record.stop_hook_output = runHook(hooks.Stop[0].hooks[0].command, { transcript_path: transcript, hook_event_name: 'Stop' });
  return fetch(new URL('/prime', url)).then((r) => r.text()).then((t) => { record.prime = t; });
}

try {
  const url = serverUrl();
  record.url = url;
  await useServer(url);
  if (agent === 'claude') await runClaudeHooks(url);
} catch (e) {
  record.error = String(e?.message ?? e);
}
fs.appendFileSync(process.env.FAKE_AGENT_RECORD, JSON.stringify(record) + '\n');

const waitFor = process.env.FAKE_AGENT_WAIT_FOR;
for (let waited = 0; waitFor && !fs.existsSync(waitFor) && waited < 60000; waited += 50) {
  await new Promise((resolve) => setTimeout(resolve, 50));
}
process.exit(Number(process.env.FAKE_AGENT_EXIT ?? 0));
