// Where a run's outputs are kept: a spool file in the page's private
// storage (the worker writes it), so that a large address book's output
// does not sit in the browser's memory while its links are offered. The
// file is the person's address book, so it lives only as long as the links:
// it is deleted when they are cleared, and a page that opens deletes any a
// closed page left behind. Each spool is held under a lock of its own name
// while its page lives, so that a page never deletes another open page's
// files. Where the browser has no such storage or locks, the worker keeps
// the outputs in memory as before.
const pageStorage = (() => {
  const kFolder = 'pc-iphone-outputs';
  const kLockPrefix = 'pc-iphone-output:';
  // The spools of this page: name -> the function that lets its lock go.
  const held = new Map();
  let refused = false;

  // A page opened from disk keeps its outputs in memory: some browsers give
  // each such page an origin of its own, whose storage no later page could
  // find to clean.
  function refuse() {
    refused = true;
  }

  function available() {
    if (refused || !navigator.storage || !navigator.locks) return false;
    return typeof navigator.storage.getDirectory === 'function' && typeof navigator.locks.request === 'function';
  }

  async function folder() {
    const root = await navigator.storage.getDirectory();
    return root.getDirectoryHandle(kFolder, {create: true});
  }

  // A new spool's place for the worker ({folder, name}), held by this page;
  // null where there is none.
  async function reserve() {
    if (!available()) return null;
    const name = 'run-' + Date.now().toString(36) + '-' + Math.random().toString(36).slice(2) + '.vcf';
    try {
      // The name is new, so the lock is granted at once; it is held until
      // discard lets it go.
      await new Promise((granted, failed) => {
        navigator.locks.request(kLockPrefix + name, () => {
          granted();
          return new Promise((release) => held.set(name, release));
        }).catch(failed);
      });
      return {folder: kFolder, name};
    } catch (e) {
      return null;
    }
  }

  // Deletes this page's spools (their links are gone) and lets their locks go.
  async function discard() {
    const names = [...held.keys()];
    if (names.length === 0) return;
    let dir = null;
    try {
      dir = await folder();
    } catch (e) {
      // No storage now: the next page's sweep deletes them.
    }
    for (const name of names) {
      try {
        if (dir) await dir.removeEntry(name);
      } catch (e) {
        // Never written, or already gone.
      }
      const release = held.get(name);
      held.delete(name);
      if (release) release();
    }
  }

  // Deletes the spools no open page holds: those of pages closed or ended
  // before they could.
  async function sweep() {
    if (!available()) return;
    try {
      const dir = await folder();
      const names = [];
      for await (const name of dir.keys()) names.push(name);
      for (const name of names) {
        if (held.has(name)) continue;
        await navigator.locks.request(kLockPrefix + name, {ifAvailable: true}, async (lock) => {
          if (lock) await dir.removeEntry(name).catch(() => {});
        });
      }
    } catch (e) {
      // Storage refused (a private window, WebKit under automation): there
      // is nothing of ours in it.
    }
  }

  return {refuse, reserve, discard, sweep};
})();
