// Helpers shared by the end-to-end scripts: named checks that print one
// line each, and tool calls through the MCP client.
import assert from 'node:assert/strict';

// Runs `fn`; prints "ok NAME", or "FAILED NAME: reason" and marks the
// process as failed without stopping the remaining checks.
export function check(name, fn) {
  try {
    fn();
    console.log(`ok ${name}`);
  } catch (e) {
    console.log(`FAILED ${name}: ${e.message}`);
    process.exitCode = 1;
  }
}

// The tool's single text block, with its error flag.
export async function call(client, name, args) {
  const result = await client.callTool({ name, arguments: args });
  assert.equal(result.content.length, 1);
  return { isError: result.isError, text: result.content[0].text };
}

// The tool's result object; a failed call throws with the tool's text.
export async function callJson(client, name, args) {
  const { isError, text } = await call(client, name, args);
  assert.equal(isError, false, text);
  return JSON.parse(text);
}
