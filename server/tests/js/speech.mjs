// SPDX-License-Identifier: Apache-2.0
// The official client against tts-server: node speech.mjs BASE_URL
import OpenAI from "openai";

const client = new OpenAI({ baseURL: process.argv[2], apiKey: "unused", maxRetries: 0 });
for (const format of ["wav", "pcm"]) {
  const response = await client.audio.speech.create({
    model: "tts-1",
    voice: "xiaoxin",
    input: "你好，世界。",
    response_format: format,
    speed: 1.25,
  });
  const bytes = Buffer.from(await response.arrayBuffer());
  const start = format === "wav" ? " " + bytes.subarray(0, 4).toString("latin1") : "";
  const ok = bytes.length > 1000 ? "" : " short";
  console.log(`${format} ${response.status} ${response.headers.get("content-type")}${start}${ok}`);
}
