// Media made for the tests with Debian's ffmpeg, and a look at the frame a
// <video> element shows.
'use strict';

const path = require('node:path');
const { execFileSync } = require('node:child_process');

// One solid colour per second, so the frame shown tells the time.
const COLOURS = [
  ['rojo', [255, 0, 0]],
  ['verde', [0, 255, 0]],
  ['azul', [0, 0, 255]],
  ['amarillo', [255, 255, 0]],
  ['magenta', [255, 0, 255]],
  ['cian', [0, 255, 255]],
];

function ffmpeg(args) {
  execFileSync('ffmpeg', ['-hide_banner', '-loglevel', 'error', '-y', ...args], { stdio: ['ignore', 'ignore', 'inherit'] });
}

// A six-second H.264 MP4, 25 frames a second with a key frame every second.
// Light noise on each colour keeps the encoder from shrinking it to a few
// kilobytes, so the browser fetches it in pieces rather than at one go.
function makeColourClip(dir, name = 'clip.mp4') {
  const file = path.join(dir, name);
  const parts = COLOURS.map(([, rgb], i) => {
    const hex = rgb.map((c) => c.toString(16).padStart(2, '0')).join('');
    return `color=c=0x${hex}:s=320x240:r=25:d=1,noise=alls=10:allf=t[c${i}]`;
  });
  const inputs = COLOURS.map((_, i) => `[c${i}]`).join('');
  ffmpeg(['-filter_complex', `${parts.join(';')};${inputs}concat=n=${COLOURS.length}:v=1:a=0,format=yuv420p[v]`,
    '-map', '[v]', '-c:v', 'libx264', '-g', '25', '-b:v', '3M', '-movflags', '+faststart', file]);
  return file;
}

// One second of a 440 Hz tone as WAV.
function makeTone(dir, name = 'tono.wav') {
  const file = path.join(dir, name);
  ffmpeg(['-f', 'lavfi', '-i', 'sine=frequency=440:duration=1', file]);
  return file;
}

// The name of the palette colour nearest to the mean colour of the frame
// that the video element shows, and that mean.
async function shownColour(video) {
  const rgb = await video.evaluate((v) => {
    const canvas = document.createElement('canvas');
    canvas.width = 32;
    canvas.height = 24;
    const ctx = canvas.getContext('2d', { willReadFrequently: true });
    ctx.drawImage(v, 0, 0, canvas.width, canvas.height);
    const px = ctx.getImageData(0, 0, canvas.width, canvas.height).data;
    const sum = [0, 0, 0];
    for (let i = 0; i < px.length; i += 4) for (let c = 0; c < 3; c++) sum[c] += px[i + c];
    return sum.map((s) => Math.round(s / (px.length / 4)));
  });
  let best = null;
  for (const [name, ref] of COLOURS) {
    const d = Math.hypot(...ref.map((c, i) => c - rgb[i]));
    if (!best || d < best.distance) best = { name, distance: d };
  }
  return { name: best.distance < 80 ? best.name : null, rgb };
}

module.exports = { COLOURS, makeColourClip, makeTone, shownColour };
