// Connects to an MCP server with the official TypeScript SDK client, lists
// its tools and calls one, printing everything in a stable form that a test
// can compare line by line.
//
// usage: node mcp_client_smoke.mjs URL [TOOL [JSON_ARGUMENTS]]
//   TOOL defaults to the first listed tool, JSON_ARGUMENTS to {}.
// Exit status 0 when the exchange completed (a tool result with isError
// true included), 1 when the client failed.
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';

const [url, toolName, argumentsJson = '{}'] = process.argv.slice(2);
if (!url) {
  console.error('usage: node mcp_client_smoke.mjs URL [TOOL [JSON_ARGUMENTS]]');
  process.exit(2);
}

const transport = new StreamableHTTPClientTransport(new URL(url));
const client = new Client({ name: 'tessel-e2e', version: '0.0.1' });
// A transport error outside a pending call (a refused GET probe, say) ends
// up here; print it where the expected output will catch it.
client.onerror = (e) => console.log('transport error:', e.message);

try {
  await client.connect(transport);
  console.log('server:', JSON.stringify(client.getServerVersion()));
  console.log('capabilities:', JSON.stringify(client.getServerCapabilities()));
  console.log('protocol:', transport.protocolVersion);

  const { tools } = await client.listTools();
  console.log('tools:', tools.length);
  for (const t of tools) {
    console.log(`tool ${t.name}: ${JSON.stringify(t.description)}`);
    console.log(`  schema: ${JSON.stringify(t.inputSchema)}`);
  }

  const name = toolName ?? tools[0].name;
  const args = JSON.parse(argumentsJson);
  console.log(`call ${name} ${JSON.stringify(args)}`);
  const result = await client.callTool({ name, arguments: args });
  console.log('isError:', result.isError ?? false);
  for (const block of result.content) {
    console.log(block.type === 'text' ? `text: ${block.text}` : `block: ${JSON.stringify(block)}`);
  }
  if (result.structuredContent !== undefined) {
    console.log('structured:', JSON.stringify(result.structuredContent));
  }

  try {
    await client.listResources();
    console.log('resources/list: answered');
  } catch (e) {
    console.log(`resources/list: error ${e.code}`);
  }
  await client.close();
} catch (e) {
  console.error('client failed:', e.message);
  process.exit(1);
}
