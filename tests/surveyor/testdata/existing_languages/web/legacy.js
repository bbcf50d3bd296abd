const express = require('express');
const { render } = require("./render");

function startServer(port) {
  const app = express();
  app.listen(port);
  return app;
}

export function GET(req) {
  return render(req);
}

module.exports = { startServer };
