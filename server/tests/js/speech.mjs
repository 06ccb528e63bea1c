// SPDX-License-Identifier: Apache-2.0
// The official client against tts-server: node speech.mjs BASE_URL OUT_DIR
// First with its defaults (model tts-1, voice alloy, no format: mp3), then
// each format; prints "CASE STATUS CONTENT-TYPE" and saves OUT_DIR/CASE.
import OpenAI from "openai";
import { writeFileSync } from "node:fs";

const client = new OpenAI({ baseURL: process.argv[2], apiKey: "unused", maxRetries: 0 });
const input = "你好，世界。";
const cases = [["default", { model: "tts-1", voice: "alloy", input }]];
for (const format of ["mp3", "opus", "aac", "flac", "wav", "pcm"])
  cases.push([format, { model: "tts-1", voice: "alloy", input, response_format: format, speed: 1.25 }]);
for (const [name, request] of cases) {
  const response = await client.audio.speech.create(request);
  writeFileSync(`${process.argv[3]}/${name}`, Buffer.from(await response.arrayBuffer()));
  console.log(`${name} ${response.status} ${response.headers.get("content-type")}`);
}
