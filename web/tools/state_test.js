// The page's decisions that need no page (web/page/state.js), run in Node:
// what a chosen file, a result and the device make the page say. Exits
// non-zero at the first answer that differs.
//
//   node state_test.js path/to/state.js
'use strict';

const assert = require('assert');
const fs = require('fs');

const state = new Function(fs.readFileSync(process.argv[2], 'utf8') + '\nreturn pageState;')();
const texts = state.texts;

// [agent, touch points, kind]
const devices = [
  ['Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 Mobile/15E148', 5, 'ios'],
  ['Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 Version/17.5 Safari', 5, 'ios'],
  ['Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 Version/17.5 Safari', 0, 'desktop'],
  ['Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 Mobile Safari/537.36', 5, 'android'],
  ['Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/126.0 Safari/537.36', 10, 'desktop'],
  ['', 0, 'desktop'],
];
for (const [agent, touch, kind] of devices) assert.strictEqual(state.deviceKind(agent, touch), kind, agent);
// Every device has its own words for both targets, and an unknown target
// falls back to a desktop's for the iPhone.
for (const kind of ['ios', 'android', 'desktop']) {
  assert.notDeepStrictEqual(state.nextSteps(kind, 'iphone'), state.nextSteps(kind, 'icloud'), kind);
}
assert.deepStrictEqual(state.nextSteps('ios', 'other'), state.nextSteps('desktop', 'iphone'));

// [bytes, text]: the unit never parts from its number.
const sizes = [[0, '0\u00a0バイト'], [1023, '1023\u00a0バイト'], [1024, '1.0\u00a0KB'],
               [1024 * 1024 - 1, '1024.0\u00a0KB'], [5.5 * 1024 * 1024, '5.5\u00a0MB']];
for (const [bytes, text] of sizes) assert.strictEqual(state.formatSize(bytes), text);

// [file, alert or null]
const refusals = [[null, texts.emptySource], [{name: 'a.txt'}, texts.notVCard],
                  [{name: 'a.VCF'}, null], [{name: 'a.vcf.txt'}, texts.notVCard]];
for (const [file, alert] of refusals) assert.strictEqual(state.refusalOf(file), alert, JSON.stringify(file));
assert.ok(state.acceptsDroppedFiles([{name: 'x.vcf'}]));
assert.ok(!state.acceptsDroppedFiles([{name: 'x.vcf'}, {name: 'y.vcf'}]));

// The report's pieces join back into the report, and the names and counts
// stand whole.
const report = '【変換レポート】書き出さなかった項目（X-MS-IMADDRESS）12件：1,234件目、3件目\nほか 4個';
const pieces = state.reportPieces(report);
assert.strictEqual(pieces.map((p) => p.text).join(''), report);
assert.deepStrictEqual(pieces.filter((p) => p.whole).map((p) => p.text),
                       ['X-MS-IMADDRESS', '）12件', '1,234件目', '3件目', '4個']);

// [worker message, text, share]
const stages = [
  [{stage: 'loading'}, '変換の準備中…', undefined],
  [{stage: 'converting'}, '変換中…（2.0\u00a0KB）', undefined],
  [{stage: 'reading', share: 0.25}, '読み込み中…（2.0\u00a0KB）', 0.25],
  [{stage: 'photos', share: 0.5}, '写真を縮小中…', 0.5],
  [{stage: 'converting', share: 0.75, card: 12345}, '12,345件目を変換中…', 0.75],
  [{stage: 'converting', share: 0, card: 0}, '変換中…（2.0\u00a0KB）', 0],
];
for (const [message, text, share] of stages) {
  assert.deepStrictEqual(state.stageOf(message, 2048), share === undefined ? {text} : {text, share});
}

// A run that wrote no card offers nothing and says why, each reason once.
assert.deepStrictEqual(state.outputsOf({outCount: 0}, [{name: 'PC→iPhone.vcf'}]), []);
assert.strictEqual(state.outputsOf({outCount: 1}, undefined).length, 0);
assert.strictEqual(state.noOutputReason({}), texts.noCardFound);
assert.strictEqual(state.noOutputReason({skippedCards: [{message: 'A'}, {message: 'B'}, {message: 'A'}, {}]}),
                   [texts.noCardWritten, 'A', 'B'].join('\n'));

// Every next step is marked where a line may end (a mark, or a blank), so
// that nothing between two is longer than a phone's line holds.
for (const kind of ['ios', 'android', 'desktop']) {
  for (const target of ['iphone', 'icloud']) {
    for (const step of state.nextSteps(kind, target)) {
      // A kana or kanji and a Latin word are parted by a blank, not a mark.
      assert.ok(!/[\u3040-\u30FF\u4E00-\u9FFF]\|[A-Za-z0-9]|[A-Za-z0-9]\|[\u3040-\u30FF\u4E00-\u9FFF]/.test(step), step);
      for (const phrase of step.split(/[| ]/)) {
        assert.ok(phrase.length > 0 && phrase.length <= 16, `${kind} ${target}: 「${phrase}」`);
      }
    }
  }
}
