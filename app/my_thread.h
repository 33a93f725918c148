#pragma once
// CMyThread: runs one job function on a worker thread.
#include <QThread>

class CMyThread : public QThread {
    Q_OBJECT

public:
    using JOB_FUNCTION = void (*)(void* pParam, int& nRet);

    explicit CMyThread(QObject* pParent = nullptr) : QThread(pParent) {}
    void SetFunc(JOB_FUNCTION pFunc, void* pParam) {
        m_pFunc = pFunc;
        m_pParam = pParam;
    }

signals:
    void ProcessCallBack(int nProcess);

protected:
    void run() override {
        int nRet = 0;
        if (m_pFunc != nullptr) m_pFunc(m_pParam, nRet);
    }

private:
    JOB_FUNCTION m_pFunc = nullptr;
    void* m_pParam = nullptr;
};
