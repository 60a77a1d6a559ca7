// The converter page's run: the window's flow (source checks, run heading,
// log, alerts, result) in the browser. It ties the page's state
// (state.js), the view that alone touches the document (view.js) and the
// worker that runs the engine (engine_worker.js) together.
(function () {
  const state = pageState;
  const view = pageView;
  const texts = state.texts;
  const run = state.run;

  engineWorker.setScripts(view.workerScripts());

  function prepareEngine() {
    engineWorker.prepare(() => !run.running);
  }

  // Takes the previous run's links away, and the outputs behind them.
  function clearResult() {
    view.clearResult();
    pageStorage.discard();
  }

  function setFile(file) {
    // The links of the previous run belong to the file chosen before.
    if (file !== run.chosenFile) clearResult();
    run.chosenFile = file;
    if (file) prepareEngine();
    view.showFile(state.fileLine(file), Boolean(file));
  }

  // A drop the page takes: exactly one vCard file.
  function takeDrop(files) {
    if (!state.acceptsDroppedFiles(files)) {
      view.setDropNote(texts.dropRefused);
      return false;
    }
    view.setDropNote('');
    setFile(files[0]);
    return true;
  }

  function setRunning(on) {
    run.running = on;
    view.setRunning(on);
  }

  function showStage(message, size) {
    const stage = state.stageOf(message, size);
    view.showProgress(stage.text, stage.share);
  }

  // The result of a finished run: the engine's alert, log and report, and
  // the files to save or why there are none. Whether it offers files.
  async function showResult(result, target) {
    const doc = result.document || {};
    if (doc.alert) await view.showAlert(doc.alert);
    view.appendLog(doc.log || '');
    // What was left out and why, after the result; nothing for a file that
    // lost nothing.
    if (doc.report) view.appendReport(state.reportPieces(doc.report));
    const outputs = state.outputsOf(doc, result.outputs);
    if (outputs.length > 0) {
      const device = view.device();
      view.offerDownloads(outputs, state.formatSize,
                          state.nextSteps(state.deviceKind(device.agent, device.touchPoints), target));
    } else if (!doc.alert) {
      view.showNoOutput(state.noOutputReason(doc));
    }
    view.showRun();
    return outputs.length > 0;
  }

  async function pushStart() {
    if (run.running) return;
    const file = run.chosenFile;
    const refusal = state.refusalOf(file);
    if (refusal) {
      await view.showAlert(refusal);
      return;
    }
    const target = view.chosenTarget();
    const carrier = view.chosenCarrier();

    clearResult();
    view.startRun(state.runHeading(file.name));
    view.appendLog(texts.converting);
    setRunning(true);
    view.showProgress(state.convertingText(file.size));
    try {
      let result;
      try {
        const spool = await pageStorage.reserve();
        result = await engineWorker.convert(file, target, carrier, spool,
                                            (message) => showStage(message, file.size), texts);
        // The next run gets a fresh worker with the engine loaded.
        prepareEngine();
      } catch (e) {
        pageStorage.discard();
        view.hideProgress();
        await view.showAlert(e.message || texts.workerFailed);
        view.appendLog(texts.failedLog);
        return;
      }
      view.hideProgress();
      if (!(await showResult(result, target))) pageStorage.discard();
    } finally {
      view.hideProgress();
      setRunning(false);
    }
  }

  // A page that goes away takes its outputs with it; what it could not
  // delete in time, the next page deletes.
  view.listen({chosen: setFile, dropped: takeDrop, start: pushStart, leaving: clearResult});
  if (view.openedFromDisk()) pageStorage.refuse();
  pageStorage.sweep();
  // A page restored from the history may still hold a chosen file.
  setFile(view.fileInInput());
  setRunning(false);
})();
