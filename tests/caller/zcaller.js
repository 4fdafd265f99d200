// Plays a caller's web terminal with the zmodem.js library: reads what the
// BBS side writes on standard input, answers on standard output, and starts
// a Zmodem session when it sees one, as a terminal's auto-start does.
//
//   node zcaller.js DIR STEP...
//
// Downloads (the BBS sends): one STEP per offered file, in order:
//   take            receive the file whole into DIR
//   skip            refuse it
//   abort@N         after N bytes: a hex ZABORT header and 8 CAN, then hang on
//   cancel@N        after N bytes: 8 CAN alone
//   drop@N          after N bytes: the line drops (this program ends)
// Uploads (the BBS receives): one STEP per file to send:
//   put:PATH[:NAME]       send the file at PATH, offered as NAME
//   put:PATH:NAME:abort@N the same, aborted after N bytes (ZABORT, 8 CAN)
//   put:PATH:NAME:drop@N  the same, the line drops after N bytes
"use strict";
const fs = require("fs");
const path = require("path");
const Zmodem = require("zmodem.js");

const [dir, ...steps] = process.argv.slice(2);
const CAN8 = Array(8).fill(0x18);
// A blocking descriptor of its own for the line: node makes fd 1 non-blocking.
const line = fs.openSync("/proc/self/fd/1", "w");
let stopped = false;  // after an abort the session is over for this side

function write(octets) {
  if (!stopped) fs.writeSync(line, Buffer.from(octets));
}

function finish(error) {
  if (error) console.error("zcaller: " + error);
  process.exit(error ? 1 : 0);
}

// Ends the session from this side the way terminals do it.
function interrupt(how) {
  if (how === "drop") finish();
  if (how === "abort") write(Zmodem.Header.build("ZABORT").to_hex());
  write(CAN8);
  stopped = true;
}

function parse_limit(step) {
  const at = step.lastIndexOf("@");
  return at < 0 ? null : { how: step.slice(step.lastIndexOf(":") + 1, at), bytes: +step.slice(at + 1) };
}

function receive(session) {
  let index = 0;
  session.on("offer", (offer) => {
    const step = steps[index++] || "take";
    const name = offer.get_details().name;
    if (step === "skip") {
      offer.skip();
      return;
    }
    const limit = parse_limit(step);
    const chunks = [];
    let got = 0;
    offer.on("input", (payload) => {
      chunks.push(Buffer.from(payload));
      got += payload.length;
      if (limit && got >= limit.bytes && !stopped) {
        fs.writeFileSync(path.join(dir, name), Buffer.concat(chunks));
        interrupt(limit.how);
      }
    });
    offer.accept({ on_input: () => {} }).then(() => {
      fs.writeFileSync(path.join(dir, name), Buffer.concat(chunks));
    });
  });
  session.on("session_end", () => finish());
  session.start();
}

async function send(session) {
  for (const step of steps) {
    const [, file, offered] = step.split(":");
    const data = fs.readFileSync(file);
    const name = offered || path.basename(file);
    const limit = parse_limit(step);
    const xfer = await session.send_offer({ name, size: data.length, mtime: new Date(0) });
    if (!xfer) continue;  // skipped
    const piece = 1024;
    let sent = 0;
    for (; sent < data.length; sent += piece) {
      if (limit && sent >= limit.bytes) {
        interrupt(limit.how);
        return;
      }
      xfer.send(data.subarray(sent, sent + piece));
      await new Promise((resolve) => setImmediate(resolve));
    }
    await xfer.end();
  }
  await session.close();
  finish();
}

const sentry = new Zmodem.Sentry({
  to_terminal() {},
  sender: write,
  on_retract() {},
  on_detect(detection) {
    const session = detection.confirm();
    if (session.type === "receive") receive(session);
    else send(session).catch(finish);
  },
});

process.stdin.on("data", (data) => {
  if (stopped) return;
  try {
    sentry.consume(data);
  } catch (error) {
    finish(error);
  }
});
process.stdin.on("end", () => finish());
