// The live page's alarm: a short tone when a meter fails or a lane goes out of service, played
// only when the supervisor allowed it with the page's control. Browsers let a page make sound
// only after a gesture on it; ticking the control is that gesture, so the audio context is
// made there. The choice is remembered in this browser (localStorage); on a later visit with it
// on, the first click or key on the page lets the browser play.
"use strict";

const pxr7Alarm = (() => {
    const KEY = "pxr7.live.sound";
    let context = null;

    function remembered() {
        try {
            return localStorage.getItem(KEY) === "on";
        } catch (_) {
            return false;
        }
    }

    function remember(on) {
        try {
            localStorage.setItem(KEY, on ? "on" : "off");
        } catch (_) {
            // A browser that keeps nothing: the choice holds for this visit only.
        }
    }

    // Made or woken inside a gesture, so that the browser lets it play.
    function wake() {
        const Context = window.AudioContext || window.webkitAudioContext;
        if (!Context)
            return null;
        if (!context)
            context = new Context();
        if (context.state === "suspended")
            context.resume().catch(() => {});
        return context;
    }

    // Two short beeps, made here: the page carries no sound file.
    function play() {
        const audio = wake();
        if (!audio)
            return;
        const start = audio.currentTime + 0.02;
        for (const at of [0, 0.25]) {
            const tone = audio.createOscillator();
            const level = audio.createGain();
            tone.type = "square";
            tone.frequency.value = 880;
            level.gain.setValueAtTime(0.0001, start + at);
            level.gain.exponentialRampToValueAtTime(0.2, start + at + 0.01);
            level.gain.exponentialRampToValueAtTime(0.0001, start + at + 0.18);
            tone.connect(level).connect(audio.destination);
            tone.start(start + at);
            tone.stop(start + at + 0.2);
        }
    }

    function setUp(control) {
        control.checked = remembered();
        control.addEventListener("change", () => {
            remember(control.checked);
            if (control.checked)
                play(); // the supervisor hears what a failure will sound like
        });
        const once = () => {
            if (control.checked)
                wake();
        };
        document.addEventListener("pointerdown", once, {once : true});
        document.addEventListener("keydown", once, {once : true});
    }

    // A failure: sound, when allowed.
    function sound(control) {
        if (control && control.checked)
            play();
    }

    return {setUp, sound};
})();
